#ifndef FAKEVIDSHOW_H
#define FAKEVIDSHOW_H

#include <vector>

// A stand-in for vidshow that records the calls the display widgets make.
struct FakeDisplayCall
{
    void *device;
    const unsigned char *y;
    const unsigned char *u;
    const unsigned char *v;
    int width;
    int height;
};

namespace FakeVidshow {
extern std::vector<FakeDisplayCall> calls;
extern int initCalls;
extern unsigned long lastWindow;
extern bool giveDevice; // false: CreateVideoDeivce answers null
extern int liveDevices; // created and not yet released
extern std::vector<void *> released;
extern int lastFullRange; // -1 until SetVideoDeviceColorRange is called
void *device();
} // namespace FakeVidshow

#endif
