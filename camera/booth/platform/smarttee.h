// The tee the capture graph builder inserts for a camera without a preview pin: one input,
// outputs "Capture" and "Preview" that carry the same samples.
#ifndef KV_PLATFORM_SMARTTEE_H
#define KV_PLATFORM_SMARTTEE_H

#include "filterbase.h"

namespace kvplat {

class SmartTee;

class TeeInputPin : public PinBase
{
public:
    explicit TeeInputPin(SmartTee *filter);

protected:
    bool accepts(const AM_MEDIA_TYPE &) override { return true; }
    void receive(IMediaSample *sample) override;
};

class TeeOutputPin : public PassThroughOutputPin
{
public:
    TeeOutputPin(SmartTee *filter, const wchar_t *name, const GUID &category, PinBase *input);
};

class SmartTee : public FilterBase
{
public:
    SmartTee();
    std::vector<PinBase *> pins() override { return {&m_input, &m_capture, &m_preview}; }
    void pass(IMediaSample *sample);

private:
    TeeInputPin m_input;
    TeeOutputPin m_capture;
    TeeOutputPin m_preview;
};

} // namespace kvplat

#endif // KV_PLATFORM_SMARTTEE_H
