#include "samplegenerator.h"

namespace kvplat {

bool parseSamplePattern(const std::string &, SamplePattern *)
{
    return false;
}
SampleGenerator::SampleGenerator() {}
SampleGenerator::~SampleGenerator() {}
bool SampleGenerator::validSize(int width, int height)
{
    return width >= 2 && height >= 2 && width <= 8192 && height <= 8192 && width % 2 == 0;
}
bool SampleGenerator::render(SampleFormat, int, int, const SamplePattern &, uint64_t,
                             std::vector<uint8_t> &, const SampleAdjust &)
{
    return false;
}

} // namespace kvplat
