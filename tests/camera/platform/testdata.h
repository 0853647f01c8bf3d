#ifndef KV_TESTS_PLATFORM_TESTDATA_H
#define KV_TESTS_PLATFORM_TESTDATA_H

#include <vector>

extern const char *const kCameras;
extern const char *const kGoodCamera;

struct MalformedValue
{
    const char *name;
    const char *value;
};
std::vector<MalformedValue> malformedValues();

#endif
