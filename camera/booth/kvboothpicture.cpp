// Picture adjustments of KvBooth through the camera's video processing amplifier.
#include "kvbooth.h"

void KvBooth::setBrightness(int percent, bool useDefault)
{
    brightness = percent;
    useDefaultBrightness = useDefault;
    applyPictureSettings();
}

void KvBooth::setContrast(int percent, bool useDefault)
{
    contrast = percent;
    useDefaultContrast = useDefault;
    applyPictureSettings();
}

void KvBooth::setSaturation(int percent, bool useDefault)
{
    saturation = percent;
    useDefaultSaturation = useDefault;
    applyPictureSettings();
}

void KvBooth::applyPictureSettings()
{
    // Without a bound camera the settings are only stored.
    if (!cameraFilter)
        return;
    IAMVideoProcAmp *procAmp = nullptr;
    if (FAILED(cameraFilter->QueryInterface(IID_IAMVideoProcAmp,
                                            reinterpret_cast<void **>(&procAmp))) ||
        !procAmp)
        return;

    struct Property
    {
        long id;
        int *percent;
        bool useDefault;
    };
    const Property properties[] = {
        {VideoProcAmp_Brightness, &brightness, useDefaultBrightness},
        {VideoProcAmp_Contrast, &contrast, useDefaultContrast},
        {VideoProcAmp_Saturation, &saturation, useDefaultSaturation},
    };
    for (const Property &p : properties) {
        long min = 0;
        long max = 0;
        long step = 0;
        long def = 0;
        long capsFlags = 0;
        procAmp->GetRange(p.id, &min, &max, &step, &def, &capsFlags);
        const long long range = static_cast<long long>(max) - min;
        if (p.useDefault) {
            procAmp->Set(p.id, def, capsFlags);
            // An empty range has no percentages: the stored one stays.
            if (range != 0)
                *p.percent =
                    static_cast<int>(def <= 0 ? (static_cast<long long>(def) - min) * 100 / range
                                              : static_cast<long long>(def) * 100 / range);
        } else {
            long value = 0;
            long flags = 0;
            procAmp->Get(p.id, &value, &flags);
            const long long target = min + static_cast<long long>(*p.percent) * range / 100;
            procAmp->Set(p.id, static_cast<long>(target), flags);
        }
    }
    procAmp->Release();
}
