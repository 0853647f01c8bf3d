#include "fakevidshow.h"

#include "vidshow.h"

namespace FakeVidshow {
std::vector<FakeDisplayCall> calls;
int initCalls = 0;
unsigned long lastWindow = 0;
bool giveDevice = true;
static int token;
void *device()
{
    return &token;
}
} // namespace FakeVidshow

extern "C" int InitDisplayDevEnv(int)
{
    ++FakeVidshow::initCalls;
    return 0;
}

extern "C" void *CreateVideoDeivce(HWND window, unsigned long)
{
    FakeVidshow::lastWindow = window;
    return FakeVidshow::giveDevice ? FakeVidshow::device() : nullptr;
}

extern "C" int DisplayI420Video(void *device, void *y, void *u, void *v, int width, int height)
{
    FakeVidshow::calls.push_back({device, static_cast<const unsigned char *>(y),
                                  static_cast<const unsigned char *>(u),
                                  static_cast<const unsigned char *>(v), width, height});
    return 0;
}
