#include "smarttee.h"

namespace kvplat {

TeeInputPin::TeeInputPin(SmartTee *filter) : PinBase(filter, L"Input", PINDIR_INPUT) {}

void TeeInputPin::receive(IMediaSample *sample)
{
    static_cast<SmartTee *>(m_filter)->pass(sample);
}

TeeOutputPin::TeeOutputPin(SmartTee *filter, const wchar_t *name, const GUID &category,
                           PinBase *input)
    : PassThroughOutputPin(filter, name, input, category)
{
}

SmartTee::SmartTee()
    : FilterBase(CLSID_SmartTee), m_input(this),
      m_capture(this, L"Capture", PIN_CATEGORY_CAPTURE, &m_input),
      m_preview(this, L"Preview", PIN_CATEGORY_PREVIEW, &m_input)
{
}

void SmartTee::pass(IMediaSample *sample)
{
    m_capture.deliver(sample);
    m_preview.deliver(sample);
}

} // namespace kvplat
