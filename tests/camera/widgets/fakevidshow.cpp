#include "fakevidshow.h"

#include "vidshow.h"

namespace FakeVidshow {
std::vector<FakeDisplayCall> calls;
int initCalls = 0;
unsigned long lastWindow = 0;
bool giveDevice = true;
int liveDevices = 0;
std::vector<void *> released;
int lastFullRange = -1;
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
    if (!FakeVidshow::giveDevice)
        return nullptr;
    ++FakeVidshow::liveDevices;
    return FakeVidshow::device();
}

extern "C" int SetVideoDeviceColorRange(void *device, int fullRange)
{
    if (!device)
        return -1;
    FakeVidshow::lastFullRange = fullRange;
    return 0;
}

extern "C" void ReleaseVideoDevice(void *device)
{
    if (!device)
        return;
    --FakeVidshow::liveDevices;
    FakeVidshow::released.push_back(device);
}

extern "C" int DisplayI420Video(void *device, void *y, void *u, void *v, int width, int height)
{
    FakeVidshow::calls.push_back({device, static_cast<const unsigned char *>(y),
                                  static_cast<const unsigned char *>(u),
                                  static_cast<const unsigned char *>(v), width, height});
    return 0;
}
