#ifndef CCAMCB_H
#define CCAMCB_H

#include <qedit.h>

class IKvYUVDataCallBack;

// The sample grabber's per-sample callback: hands each raw sample, unconverted,
// to the data callback the graph was built with. Called on the streaming thread.
class CCamCB : public ISampleGrabberCB
{
public:
    explicit CCamCB(IKvYUVDataCallBack *cb) : sampleGrabberCallback(cb) {}

    HRESULT QueryInterface(REFIID riid, void **ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT SampleCB(double sampleTime, IMediaSample *sample) override;
    HRESULT BufferCB(double sampleTime, BYTE *buffer, long len) override;

    virtual ~CCamCB() = default;

private:
    // Changed only while a graph is built or torn down, never while samples flow.
    int refCount = 0;
    IKvYUVDataCallBack *sampleGrabberCallback = nullptr;
};

#endif
