// Brightness, contrast and saturation as percentages of the device ranges,
// observed at the virtual camera.
#include "boothtestsupport.h"

#include <faultinjection.h>

#include <QtTest>

#include <memory>

namespace {

const char *const kFormats = R"([{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}])";

// The last value the camera was set to for the property, and how often it was set.
QPair<long, int> deviceValue(long property)
{
    kvfault::ProcAmpCall call;
    if (!kvfault::lastProcAmpSet(L"Virtual Camera", property, &call))
        return {0, 0};
    return {call.value, call.count};
}

} // namespace

class TestKvBoothPicture : public QObject
{
    Q_OBJECT

private slots:
    void init() { kvfault::clearFaults(); }
    void cleanup() { QTRY_COMPARE(kvfault::liveObjects(), 0L); }

    void defaultRanges();
    void positiveDefault();
    void emptyRange();
    void withoutDevice();
};

void TestKvBoothPicture::defaultRanges()
{
    // Brightness -64..64 default 0, contrast 0..100 default 32, saturation 0..128 default 64.
    kvfault::setVirtualCameras(oneCamera(kFormats).constData());
    std::unique_ptr<IKvBooth> booth(createBooth());
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);

    booth->setBrightness(70, true);
    QCOMPARE(deviceValue(VideoProcAmp_Brightness).first, 0L);
    QCOMPARE(booth->getBrightness(), 50);
    QCOMPARE(booth->getContrast(), 32);
    QCOMPARE(deviceValue(VideoProcAmp_Contrast).first, 32L);
    QCOMPARE(booth->getSaturation(), 50);
    QCOMPARE(deviceValue(VideoProcAmp_Saturation).first, 64L);

    booth->setBrightness(75, false);
    QCOMPARE(deviceValue(VideoProcAmp_Brightness).first, 32L);
    QCOMPARE(booth->getBrightness(), 75);
    booth->setContrast(40, false);
    QCOMPARE(deviceValue(VideoProcAmp_Contrast).first, 40L);
    QCOMPARE(booth->getContrast(), 40);
    // Every setter re-applies the other two from their own settings.
    QCOMPARE(deviceValue(VideoProcAmp_Brightness).first, 32L);
    QCOMPARE(deviceValue(VideoProcAmp_Brightness).second, 3);

    // A new open sets every flag again: a setter for one property returns the
    // other two to their device defaults.
    QCOMPARE(booth->closeCamera(), 0);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    booth->setSaturation(10, false);
    QCOMPARE(deviceValue(VideoProcAmp_Brightness).first, 0L);
    QCOMPARE(deviceValue(VideoProcAmp_Contrast).first, 32L);
    QCOMPARE(deviceValue(VideoProcAmp_Saturation).first, 12L);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBoothPicture::positiveDefault()
{
    kvfault::setVirtualCameras(
        oneCamera(kFormats, R"(, "procamp": {"saturation": [-10, 10, 1, 5]})").constData());
    std::unique_ptr<IKvBooth> booth(createBooth());
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    booth->setSaturation(90, true);
    QCOMPARE(deviceValue(VideoProcAmp_Saturation).first, 5L);
    // 5 x 100 / 20: the minimum is not subtracted for a positive default.
    QCOMPARE(booth->getSaturation(), 25);
    booth->setSaturation(25, false);
    QCOMPARE(deviceValue(VideoProcAmp_Saturation).first, -5L);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBoothPicture::emptyRange()
{
    kvfault::setVirtualCameras(
        oneCamera(kFormats, R"(, "procamp": {"brightness": [7, 7, 1, 7]})").constData());
    std::unique_ptr<IKvBooth> booth(createBooth());
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    booth->setBrightness(33, true);
    QCOMPARE(deviceValue(VideoProcAmp_Brightness).first, 7L);
    QCOMPARE(booth->getBrightness(), 33);
    booth->setBrightness(80, false);
    QCOMPARE(deviceValue(VideoProcAmp_Brightness).first, 7L);
    QCOMPARE(booth->getBrightness(), 80);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBoothPicture::withoutDevice()
{
    kvfault::setVirtualCameras(oneCamera(kFormats).constData());
    std::unique_ptr<IKvBooth> booth(createBooth());
    // Before the first adjustment the getters report 0.
    QCOMPARE(booth->getBrightness(), 0);
    QCOMPARE(booth->getContrast(), 0);
    QCOMPARE(booth->getSaturation(), 0);
    // Without a bound camera the settings are only stored.
    booth->setBrightness(70, true);
    booth->setContrast(20, false);
    QCOMPARE(booth->getBrightness(), 70);
    QCOMPARE(booth->getContrast(), 20);

    // A camera without the amplifier ignores them too.
    kvfault::Fault noAmp;
    noAmp.op = kvfault::Op::QueryInterface;
    noAmp.result = E_NOINTERFACE;
    noAmp.id = IID_IAMVideoProcAmp;
    kvfault::injectFault(noAmp);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    booth->setSaturation(90, true);
    QCOMPARE(booth->getSaturation(), 90);
    QCOMPARE(deviceValue(VideoProcAmp_Saturation).second, 0);
    QCOMPARE(booth->closeCamera(), 0);
}

QTEST_GUILESS_MAIN(TestKvBoothPicture)
#include "tst_kvboothpicture.moc"
