// The null renderer: one input pin that takes any sample and drops it.
#ifndef KV_PLATFORM_NULLRENDERER_H
#define KV_PLATFORM_NULLRENDERER_H

#include "filterbase.h"
#include "qedit.h"

namespace kvplat {

class NullRenderer : public FilterBase
{
public:
    NullRenderer() : FilterBase(CLSID_NullRenderer), m_input(this) {}
    std::vector<PinBase *> pins() override { return {&m_input}; }

private:
    class InputPin : public PinBase
    {
    public:
        explicit InputPin(NullRenderer *filter) : PinBase(filter, L"In", PINDIR_INPUT) {}

    protected:
        bool accepts(const AM_MEDIA_TYPE &) override { return true; }
    };

    InputPin m_input;
};

} // namespace kvplat

#endif // KV_PLATFORM_NULLRENDERER_H
