// The booth's lifecycle, camera lists and selection, graph building with the
// format choice, and run/stop/close with the event thread, on virtual cameras.
#include "boothtestsupport.h"
#include "ccamcb.h"
#include "ccamgrabber.h"
#include "kvnamepattern.h"

#include <faultinjection.h>
#include <qedit.h>

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(kvfault::Fault)

namespace {

const char *const kTwoFormats = R"([{"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30},
                                    {"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}])";

kvfault::Fault fault(kvfault::Op op, HRESULT result, int times = -1)
{
    kvfault::Fault f;
    f.op = op;
    f.result = result;
    f.times = times;
    return f;
}

int setFormatCalls(const wchar_t *device)
{
    kvfault::FormatCall call;
    return kvfault::lastSetFormat(device, &call) ? call.count : 0;
}

} // namespace

class TestKvBooth : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        kvfault::clearFaults();
        kvfault::setVirtualCameras(oneCamera(kTwoFormats).constData());
    }
    void cleanup()
    {
        kvfault::clearFaults();
        // Every test leaves no platform object and no handle behind.
        QTRY_COMPARE(kvfault::liveObjects(), 0L);
        QCOMPARE(kvfault::openHandles(), 0L);
    }

    void freshBooth();
    void callbackObjects();
    void cameraLists();
    void cameraListFailures_data();
    void cameraListFailures();
    void selectionByPath();
    void selectionByName_data();
    void selectionByName();
    void selectionByHostileName_data();
    void selectionByHostileName();
    void hugeFormatAmongCapabilities();
    void openFailures_data();
    void openFailures();
    void openOnBuiltGraph();
    void openAfterFailedBuild();
    void formatChoice_data();
    void formatChoice();
    void resolutionTakesEffectAtNextOpen();
    void formatReport();
    void graphKeepsItsCallback();
    void openWithoutCallback();
    void runStopClose();
    void runFailures_data();
    void runFailures();
    void stopFailures();
    void eventThread();
    void stopRightAfterRun();
    void destroyRunningBooth();
};

void TestKvBooth::freshBooth()
{
    std::unique_ptr<IKvBooth> booth(createBooth());
    QCOMPARE(qobject_cast<IKvBooth *>(booth->getObject()), booth.get());
    QCOMPARE(booth->getObject()->metaObject()->className(), "KvBooth");
    QObject *object = booth->getObject();
    QCOMPARE(object->qt_metacast("IKvBooth"), static_cast<void *>(booth.get()));
    QCOMPARE(object->qt_metacast("com.orlo.Quorvale.IKvBooth/1.0"),
             static_cast<void *>(booth.get()));
    QCOMPARE(object->qt_metacast("KvBooth"), static_cast<void *>(object));
    QCOMPARE(booth->isRunning(), false);
    QJsonObject format;
    QCOMPARE(booth->getVideoFormat(format), -1);
    QCOMPARE(booth->closeCamera(), 1);
    QCOMPARE(booth->stop(), 1);
    QCOMPARE(booth->run(), -1);
    uchar dst[16] = {};
    int len = 16;
    QCOMPARE(booth->convertFrame(dst, &len, dst, 16), -1);
    CamI420Image image;
    QCOMPARE(booth->convertFrameScaled(dst, &len, &image), -1);
    // Nothing touches the platform before an open.
    QCOMPARE(kvfault::liveObjects(), 0L);
}

void TestKvBooth::callbackObjects()
{
    SampleSink sink;
    CCamCB *cb = new CCamCB(&sink);
    QCOMPARE(ULONG(cb->AddRef()), ULONG(1));
    void *out = &sink;
    QCOMPARE(cb->QueryInterface(IID_IBaseFilter, &out), HRESULT(E_NOINTERFACE));
    QVERIFY(!out);
    QCOMPARE(cb->QueryInterface(IID_ISampleGrabberCB, &out), HRESULT(S_OK));
    QCOMPARE(out, static_cast<void *>(static_cast<ISampleGrabberCB *>(cb)));
    QCOMPARE(cb->BufferCB(0.0, nullptr, 0), HRESULT(E_NOTIMPL));
    QCOMPARE(cb->SampleCB(0.0, nullptr), HRESULT(S_OK));
    QCOMPARE(sink.samples.load(), 0);
    QCOMPARE(ULONG(cb->Release()), ULONG(1));
    QCOMPARE(ULONG(cb->Release()), ULONG(0)); // deleted here

    // The factory hands out nothing outside a build.
    CCamGrabber *grabber = CCamGrabber::instance();
    QCOMPARE(CCamGrabber::instance(), grabber);
    IBaseFilter *filter = reinterpret_cast<IBaseFilter *>(&sink);
    QCOMPARE(grabber->getGrabberFilter(&filter), int(E_FAIL));
    QVERIFY(!filter);
    QCOMPARE(grabber->getRenderFilter(&filter), int(E_FAIL));
    QVERIFY(!filter);
}

void TestKvBooth::cameraLists()
{
    kvfault::setVirtualCameras(R"([
        {"name": "Cam A", "path": "virtual:a", "formats": []},
        {"name": "Cam B", "formats": []},
        {"name": "Cam C", "path": "virtual:c", "formats": []},
        {"name": "Cam D", "path": "", "formats": []}])");
    std::unique_ptr<IKvBooth> booth(createBooth());
    LogCapture log;

    QVector<CamDevInfo> records(3);
    QCOMPARE(booth->getCameraList(records), 2);
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0].name, QString("Cam A"));
    QCOMPARE(records[0].path, QString("virtual:a"));
    QCOMPARE(records[0].index, 0);
    QCOMPARE(records[1].name, QString("Cam C"));
    QCOMPARE(records[1].path, QString("virtual:c"));
    QCOMPARE(records[1].index, 1);
    QVERIFY(log.messages().first().startsWith("KvBooth::getCameraList false 0x"));
    QVERIFY(log.contains("0 dev_path:  \"virtual:a\""));
    QVERIFY(log.contains("1 dev_path:  \"virtual:c\""));

    QStringList names{"stale"};
    QCOMPARE(booth->getCameraList(names), 2);
    QCOMPARE(names, QStringList({"Cam A", "Cam C"}));
}

void TestKvBooth::cameraListFailures_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("property");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("names");

    const QStringList all{"Cam A", "Cam B", "Cam C"};
    QTest::newRow("no device enumerator") << int(kvfault::Op::CoCreateInstance) << ""
                                          << "" << -1 << QStringList();
    QTest::newRow("no category enumerator") << int(kvfault::Op::CreateClassEnumerator) << ""
                                            << "" << -2 << QStringList();
    QTest::newRow("property bag of B") << int(kvfault::Op::BindToStorage) << "Cam B"
                                       << "" << 2 << QStringList({"Cam A", "Cam C"});
    QTest::newRow("friendly name of A") << int(kvfault::Op::PropertyBagRead) << "Cam A"
                                        << "FriendlyName" << 2 << QStringList({"Cam B", "Cam C"});
    QTest::newRow("device path of C") << int(kvfault::Op::PropertyBagRead) << "Cam C"
                                      << "DevicePath" << 2 << QStringList({"Cam A", "Cam B"});
    QTest::newRow("no fault") << -1 << ""
                              << "" << 3 << all;
}

void TestKvBooth::cameraListFailures()
{
    QFETCH(int, op);
    QFETCH(QString, device);
    QFETCH(QString, property);
    QFETCH(int, result);
    QFETCH(QStringList, names);

    kvfault::setVirtualCameras(R"([
        {"name": "Cam A", "path": "virtual:a", "formats": []},
        {"name": "Cam B", "path": "virtual:b", "formats": []},
        {"name": "Cam C", "path": "virtual:c", "formats": []}])");
    if (op >= 0) {
        kvfault::Fault f = fault(kvfault::Op(op), E_FAIL);
        if (f.op == kvfault::Op::CoCreateInstance)
            f.id = CLSID_SystemDeviceEnum;
        f.device = device.toStdWString();
        f.name = property.toStdWString();
        kvfault::injectFault(f);
    }
    std::unique_ptr<IKvBooth> booth(createBooth());
    QStringList list{"stale"};
    QCOMPARE(booth->getCameraList(list), result);
    QCOMPARE(list, names);
    QVector<CamDevInfo> records(1);
    QCOMPARE(booth->getCameraList(records), result);
    QCOMPARE(records.size(), names.size());
    for (int i = 0; i < records.size(); ++i) {
        QCOMPARE(records[i].name, names[i]);
        QCOMPARE(records[i].index, i);
    }
}

void TestKvBooth::selectionByPath()
{
    kvfault::setVirtualCameras(R"([
        {"name": "Cam A", "path": "virtual:a", "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]},
        {"name": "Cam B", "formats": []},
        {"name": "Cam C", "path": "virtual:c", "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]}])");
    std::unique_ptr<KvBooth> booth(new KvBooth);
    LogCapture log;

    CamDevInfo info;
    info.path = "virtual:c";
    QCOMPARE(booth->openCameraByPath(info), 0);
    QCOMPARE(booth->state(), KvBooth::GraphReady);
    QCOMPARE(setFormatCalls(L"Cam C"), 1);
    QCOMPARE(setFormatCalls(L"Cam A"), 0);
    // The search counts every device, also the one without a path.
    QVERIFY(log.contains("0 Dev name:  \"Cam A\""));
    QVERIFY(log.contains("1 Dev name:  \"Cam B\""));
    QVERIFY(log.contains("2 Dev name:  \"Cam C\""));
    QCOMPARE(booth->closeCamera(), 0);

    // A path differing only in letter case, or one not attached, selects nothing.
    for (const char *path : {"VIRTUAL:c", "virtual:x", ""}) {
        info.path = path;
        QCOMPARE(booth->openCameraByPath(info), -1);
        QCOMPARE(booth->state(), KvBooth::GraphCreated);
        QCOMPARE(booth->closeCamera(), 0);
    }
    QCOMPARE(setFormatCalls(L"Cam A"), 0);
    QCOMPARE(setFormatCalls(L"Cam C"), 1);

    kvfault::failAlways(kvfault::Op::BindToObject);
    info.path = "virtual:a";
    QCOMPARE(booth->openCameraByPath(info), -1);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::selectionByName_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("chosen");

    QTest::newRow("first of two matches") << "Camera" << 0 << "Integrated Camera";
    QTest::newRow("unanchored") << "USB" << 0 << "USB Camera";
    QTest::newRow("metacharacters keep their meaning") << "HD (720p)" << 0 << "HD 720p";
    QTest::newRow("escaped") << "HD \\(720p\\)" << 0 << "HD (720p)";
    QTest::newRow("case-sensitive") << "usb" << -3 << "";
    QTest::newRow("no match") << "Webcam" << -3 << "";
    QTest::newRow("invalid pattern") << "HD (720p" << -3 << "";
    QTest::newRow("name longer than the field")
        << "USB" + QString("(x?)").repeated(100) << 0 << "USB Camera";
}

void TestKvBooth::selectionByName()
{
    QFETCH(QString, pattern);
    QFETCH(int, result);
    QFETCH(QString, chosen);

    kvfault::setVirtualCameras(R"json([
        {"name": "Integrated Camera", "path": "virtual:0", "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]},
        {"name": "USB Camera", "path": "virtual:1", "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]},
        {"name": "HD (720p)", "path": "virtual:2", "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]
},
        {"name": "HD 720p", "path": "virtual:3", "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]}])json");
    std::unique_ptr<KvBooth> booth(new KvBooth);
    LogCapture log;
    QCOMPARE(booth->openCamera(pattern), result);
    QCOMPARE(booth->state(), result == 0 ? KvBooth::GraphReady : KvBooth::GraphCreated);
    QVERIFY(log.messages().first().startsWith("begin enum-camera-dev: "));
    for (const wchar_t *name : {L"Integrated Camera", L"USB Camera", L"HD (720p)", L"HD 720p"})
        QCOMPARE(setFormatCalls(name), QString::fromWCharArray(name) == chosen ? 1 : 0);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::selectionByHostileName_data()
{
    // A first camera with the given name, a second one named "Spare x"; the search for the
    // pattern either settles on the first, or on the second, or finds nothing (the log then
    // says why where `logged` is given).
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("first");
    QTest::addColumn<QString>("logged");

    // ECMAScript as std::wregex reads it: escapes of code points, identity escapes, the empty
    // negated class, and "$" only at the very end.
    QTest::newRow("\\u escapes") << QString::fromUtf8("USB 摄像头") << "\\u6444\\u50cf\\u5934" << 0
                                 << true << "";
    QTest::newRow("\\u escape of a letter") << "USB Camera"
                                            << "\\u0043am" << 0 << true << "";
    QTest::newRow("[^] is any character") << "USB Camera"
                                          << "[^]Camera" << 0 << true << "";
    QTest::newRow("\\A is A") << "ACamera"
                              << "\\ACamera" << 0 << true << "";
    QTest::newRow("\\Z is Z") << "CamZera"
                              << "Cam\\Zera" << 0 << true << "";
    QTest::newRow("$ before a final line break") << "Camera\n"
                                                 << "era$" << -3 << false << "";

    // Names longer than any real one are not searched, and the log names the device.
    QTest::newRow("name at the limit")
        << QString(KvNamePattern::kMaxNameLength, 'y') << "^y.*$" << 0 << true << "";
    QTest::newRow("name past the limit")
        << QString(KvNamePattern::kMaxNameLength + 1, 'y') << "^y.*$" << -3 << false
        << "camera name not searched: \"virtual:h\" has a name of 1025 characters";
    QTest::newRow("long name, anchored run")
        << QString(32768, 'N') << "N+$" << -3 << false << "camera name not searched";
    QTest::newRow("1 MB name, any text")
        << QString(1 << 20, 'y') << "^y.*$" << -3 << false << "camera name not searched";
    QTest::newRow("long name, no match") << QString(32768, 'N') << "N+M|x$" << 0 << false << "";

    // Searches that would not end in time, or would overflow the stack, are refused.
    QTest::newRow("backtracking without end")
        << QString(64, 'x') << "(x?){64}x{64}z" << -3 << false << "more steps than";
    QTest::newRow("recursion deeper than the stack")
        << QString(KvNamePattern::kMaxNameLength, 'y')
        << "(?:" + QString(40, '(') + "y" + QString(40, ')') + ")*$" << -3 << false
        << "more stack than";
    QTest::newRow("pattern too long")
        << "Spare x"
        << "S" + QString(1100, '.') << -3 << false << "pattern refused";
    QTest::newRow("PCRE-only syntax") << "Spare x"
                                      << "(*LIMIT_MATCH=1)x" << -3 << false << "is not valid";
}

void TestKvBooth::selectionByHostileName()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(int, result);
    QFETCH(bool, first);
    QFETCH(QString, logged);

    const QJsonArray formats = {
        QJsonObject{{"fourcc", "YUY2"}, {"width", 640}, {"height", 480}, {"fps", 30}}};
    const QJsonArray cameras = {
        QJsonObject{{"name", name}, {"path", "virtual:h"}, {"formats", formats}},
        QJsonObject{{"name", "Spare x"}, {"path", "virtual:s"}, {"formats", formats}}};
    kvfault::setVirtualCameras(QJsonDocument(cameras).toJson().constData());
    std::unique_ptr<KvBooth> booth(new KvBooth);
    LogCapture log;
    QCOMPARE(booth->openCamera(pattern), result);
    QCOMPARE(setFormatCalls(name.toStdWString().c_str()), result == 0 && first ? 1 : 0);
    QCOMPARE(setFormatCalls(L"Spare x"), result == 0 && !first ? 1 : 0);
    if (!logged.isEmpty())
        QVERIFY2(log.contains(logged), qPrintable(log.messages().join('\n').left(2000)));
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::hugeFormatAmongCapabilities()
{
    // The bit rate of 8192 x 8192 RGB24 at 1000 fps does not fit its field (the
    // sanitizer build catches the conversion); the format choice goes on unharmed.
    kvfault::setVirtualCameras(R"([{"name": "Huge", "path": "virtual:huge", "formats": [
        {"fourcc": "RGB24", "width": 8192, "height": 8192, "fps": 1000},
        {"fourcc": "YUY2", "width": 1280, "height": 720, "fps": 30}]}])");
    std::unique_ptr<KvBooth> booth(new KvBooth);
    QCOMPARE(booth->openCamera("Huge"), 0);
    QJsonObject format;
    booth->getVideoFormat(format);
    QCOMPARE(format.value("width").toInt(), 1280);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::openFailures_data()
{
    QTest::addColumn<kvfault::Fault>("injected");
    QTest::addColumn<int>("byName");
    QTest::addColumn<int>("byPath");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("delivers");

    using kvfault::Op;
    kvfault::Fault f = fault(Op::CoCreateInstance, E_FAIL);
    f.id = CLSID_FilterGraph;
    QTest::newRow("filter graph") << f << -1 << -1 << int(KvBooth::GraphNone) << "" << true;
    f.id = CLSID_CaptureGraphBuilder2;
    QTest::newRow("capture graph builder")
        << f << -2 << -1 << int(KvBooth::GraphNone) << "" << true;
    f.id = CLSID_SampleGrabber;
    QTest::newRow("sample grabber") << f << -10 << -10 << int(KvBooth::GraphCreated) << "" << true;
    f.id = CLSID_NullRenderer;
    QTest::newRow("null renderer") << f << -10 << -10 << int(KvBooth::GraphCreated) << "" << true;
    QTest::newRow("set filter graph") << fault(Op::SetFiltergraph, E_FAIL) << -10 << -1
                                      << int(KvBooth::GraphCreated) << "" << true;
    QTest::newRow("bind capture filter")
        << fault(Op::BindToObject, E_FAIL) << -3 << -1 << int(KvBooth::GraphCreated) << "" << true;
    QTest::newRow("add camera filter")
        << fault(Op::AddFilter, E_FAIL, 1) << -1 << -1 << int(KvBooth::GraphCreated) << "" << true;
    f = fault(Op::FindInterface, E_NOINTERFACE);
    f.id = IID_IAMStreamConfig;
    QTest::newRow("no stream configuration")
        << f << -1 << -1 << int(KvBooth::GraphCreated)
        << "capture-pin interleaved failed. turn to video. (streamconfig) -7fffbffe" << true;
    QTest::newRow("both render streams")
        << fault(Op::RenderStream, E_FAIL) << -10 << -10 << int(KvBooth::GraphCreated)
        << "renderstream: mt_video failed! -7fffbffb 0x" << true;
    QTest::newRow("interleaved render stream")
        << fault(Op::RenderStream, E_FAIL, 1) << 0 << 0 << int(KvBooth::GraphReady)
        << "renderstream: interleaved failed:   -7fffbffb 0x" << true;
    QTest::newRow("no preview pin")
        << fault(Op::RenderStream, VFW_S_NOPREVIEWPIN, 1) << 0 << 0 << int(KvBooth::GraphReady)
        << "renderstream: interleaved fake_preview 4027e 0x" << true;
    QTest::newRow("set format") << fault(Op::SetFormat, E_FAIL) << 0 << 0
                                << int(KvBooth::GraphReady) << "" << true;
    QTest::newRow("connected media type") << fault(Op::GetConnectedMediaType, E_FAIL) << 0 << 0
                                          << int(KvBooth::GraphReady) << "" << true;
    f = fault(Op::GetNumberOfCapabilities, S_OK);
    f.count = 0;
    QTest::newRow("set callback") << fault(Op::SetCallback, E_FAIL) << 0 << 0
                                  << int(KvBooth::GraphReady) << "" << false;
    QTest::newRow("no capabilities") << f << 0 << 0 << int(KvBooth::GraphReady) << "" << true;
}

void TestKvBooth::openFailures()
{
    QFETCH(kvfault::Fault, injected);
    QFETCH(int, byName);
    QFETCH(int, byPath);
    QFETCH(int, state);
    QFETCH(QString, message);
    QFETCH(bool, delivers);

    for (bool path : {false, true}) {
        kvfault::clearFaults();
        kvfault::injectFault(injected);
        LogCapture log;
        std::unique_ptr<KvBooth> booth(new KvBooth);
        SampleSink sink;
        booth->setYUVDataCallBack(&sink);
        CamDevInfo info;
        info.path = "virtual:0";
        QCOMPARE(path ? booth->openCameraByPath(info) : booth->openCamera("Virtual Camera"),
                 path ? byPath : byName);
        QCOMPARE(int(booth->state()), state);
        if (!message.isEmpty())
            QVERIFY2(log.contains(message), qPrintable(log.messages().join('\n')));
        // A graph that was built runs; any other is closed without harm.
        if (booth->state() == KvBooth::GraphReady) {
            QCOMPARE(booth->run(), 0);
            QTRY_VERIFY(kvfault::samplesDelivered(L"Virtual Camera") > 0);
            QTRY_COMPARE(sink.samples > 0, delivers);
            QCOMPARE(booth->stop(), 0);
        } else {
            QCOMPARE(booth->run(), -1);
        }
        QCOMPARE(booth->closeCamera(), state == KvBooth::GraphNone ? 1 : 0);
        QCOMPARE(booth->state(), KvBooth::GraphNone);
        booth.reset();
        QTRY_COMPARE(kvfault::liveObjects(), 0L);
    }
}

void TestKvBooth::openOnBuiltGraph()
{
    std::unique_ptr<KvBooth> booth(new KvBooth);
    SampleSink sink;
    booth->setYUVDataCallBack(&sink);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    QCOMPARE(booth->openCamera("Virtual Camera"), -1);
    CamDevInfo info;
    info.path = "virtual:0";
    QCOMPARE(booth->openCameraByPath(info), -1);
    // The existing graph is untouched and still runs.
    QCOMPARE(setFormatCalls(L"Virtual Camera"), 1);
    QCOMPARE(booth->run(), 0);
    QCOMPARE(booth->openCamera("Virtual Camera"), -1);
    QTRY_VERIFY(sink.samples > 0);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::openAfterFailedBuild()
{
    std::unique_ptr<KvBooth> booth(new KvBooth);
    SampleSink sink;
    booth->setYUVDataCallBack(&sink);
    CamDevInfo info;
    info.path = "virtual:0";
    for (bool byPath : {false, true}) {
        kvfault::failAlways(kvfault::Op::RenderStream);
        QCOMPARE(byPath ? booth->openCameraByPath(info) : booth->openCamera("Virtual Camera"), -10);
        kvfault::clearFaults();
        // A second open builds into the graph the failed build left behind, where
        // the camera's name (or the empty one) is already taken.
        QCOMPARE(byPath ? booth->openCameraByPath(info) : booth->openCamera("Virtual Camera"), -1);
        QCOMPARE(booth->state(), KvBooth::GraphCreated);
        QCOMPARE(booth->run(), -1);
        QCOMPARE(booth->closeCamera(), 0);
    }
    // After the close a fresh graph is built and runs.
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    QCOMPARE(booth->run(), 0);
    QTRY_VERIFY(sink.samples > 0);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::formatChoice_data()
{
    QTest::addColumn<QByteArray>("formats");
    QTest::addColumn<int>("requestedWidth");
    QTest::addColumn<QString>("fourcc");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    const QByteArray four = R"([{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30},
                               {"fourcc": "YUY2", "width": 1280, "height": 720, "fps": 30},
                               {"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30},
                               {"fourcc": "MJPG", "width": 1920, "height": 1080, "fps": 30}])";
    QTest::newRow("closest width, MJPG over YUY2") << four << 1280 << "MJPG" << 1280 << 720;
    QTest::newRow("height plays no part")
        << QByteArray(R"([{"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30},
                         {"fourcc": "MJPG", "width": 1280, "height": 960, "fps": 30}])")
        << 1280 << "MJPG" << 1280 << 720;
    QTest::newRow("equal distance, MJPG wins")
        << QByteArray(R"([{"fourcc": "YUY2", "width": 1024, "height": 768, "fps": 30},
                         {"fourcc": "MJPG", "width": 1536, "height": 864, "fps": 30}])")
        << 1280 << "MJPG" << 1536 << 864;
    QTest::newRow("distance beats format")
        << QByteArray(R"([{"fourcc": "MJPG", "width": 1920, "height": 1080, "fps": 30},
                         {"fourcc": "RGB24", "width": 1280, "height": 720, "fps": 30}])")
        << 1280 << "RGB24" << 1280 << 720;
    QTest::newRow("requested 640") << four << 640 << "YUY2" << 640 << 480;
}

void TestKvBooth::formatChoice()
{
    QFETCH(QByteArray, formats);
    QFETCH(int, requestedWidth);
    QFETCH(QString, fourcc);
    QFETCH(int, width);
    QFETCH(int, height);

    kvfault::setVirtualCameras(oneCamera(formats.constData()).constData());
    std::unique_ptr<IKvBooth> booth(createBooth());
    if (requestedWidth != 1280)
        booth->setResolution(requestedWidth, 360);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);

    kvfault::FormatCall call;
    QVERIFY(kvfault::lastSetFormat(L"Virtual Camera", &call));
    QCOMPARE(call.count, 1);
    QCOMPARE(int(call.width), width);
    QCOMPARE(int(call.height), height);
    const quint32 code = fourcc == "MJPG" ? 0x47504A4D : fourcc == "YUY2" ? 0x32595559 : 0;
    if (code)
        QCOMPARE(quint32(call.fourcc), code);
    else
        QVERIFY(call.fourcc != 0x47504A4D && call.fourcc != 0x32595559);

    QJsonObject format;
    QCOMPARE(booth->getVideoFormat(format), 0);
    QCOMPARE(format.value("width").toInt(), width);
    QCOMPARE(format.value("height").toInt(), height);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::resolutionTakesEffectAtNextOpen()
{
    kvfault::setVirtualCameras(
        oneCamera(R"([{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30},
                     {"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30}])")
            .constData());
    std::unique_ptr<IKvBooth> booth(createBooth());
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    booth->setResolution(640, 360);
    QJsonObject format;
    QCOMPARE(booth->getVideoFormat(format), 0);
    QCOMPARE(format.value("width").toInt(), 1280);
    QCOMPARE(booth->closeCamera(), 0);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    QCOMPARE(booth->getVideoFormat(format), 0);
    QCOMPARE(format.value("width").toInt(), 640);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::formatReport()
{
    kvfault::setVirtualCameras(
        oneCamera(R"([{"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30}])").constData());
    std::unique_ptr<IKvBooth> booth(createBooth());
    LogCapture log;
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);

    QJsonObject format;
    QCOMPARE(booth->getVideoFormat(format), 0);
    QCOMPARE(format.keys(), QStringList({"format", "fps", "height", "width"}));
    QCOMPARE(format.value("width").toInt(), 1280);
    QCOMPARE(format.value("height").toInt(), 720);
    QCOMPARE(format.value("fps").toDouble(), 10000000.0 / 333333);
    QVERIFY(qFuzzyCompare(format.value("fps").toDouble(), 30.00003000003));
    QCOMPARE(format.value("format").toVariant().toLongLong(), 1196444237LL);
    QVERIFY(
        log.contains("select_cam_format mjpeg?  true y2?  false info2?  false 1280 720 333333"));
    // Once for the chosen capability, once for what the grabber received.
    QCOMPARE(log.count("video_format changed detail:  MJPG 1280 720"), 2);

    // The report survives the close; the same camera and format re-open unchanged.
    QCOMPARE(booth->closeCamera(), 0);
    QCOMPARE(booth->getVideoFormat(format), 0);
    QCOMPARE(format.value("width").toInt(), 1280);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    QCOMPARE(booth->getVideoFormat(format), 0);
    QCOMPARE(log.count("video_format changed detail:  MJPG 1280 720"), 4);
    QVERIFY(!log.contains("Cam_Video_Format changed on render!"));
    QCOMPARE(booth->closeCamera(), 0);

    // A device that describes its rows as top-down (negative height) reports
    // the height as a positive number.
    kvfault::setVirtualCameras(oneCamera(R"([{"fourcc": "YUY2", "width": 640, "height": 480,
                                              "fps": 30, "topDown": true}])")
                                   .constData());
    std::unique_ptr<IKvBooth> topDown(createBooth());
    QCOMPARE(topDown->openCamera("Virtual Camera"), 0);
    QCOMPARE(topDown->getVideoFormat(format), 0);
    QCOMPARE(format.value("width").toInt(), 640);
    QCOMPARE(format.value("height").toInt(), 480);
    QVERIFY(log.contains("video_format changed detail:  YUY2 640 480"));
    QCOMPARE(topDown->closeCamera(), 0);
}

void TestKvBooth::graphKeepsItsCallback()
{
    std::unique_ptr<IKvBooth> booth(createBooth());
    SampleSink builtWith;
    SampleSink later;
    booth->setYUVDataCallBack(&builtWith);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    booth->setYUVDataCallBack(&later);
    QCOMPARE(booth->run(), 0);
    QTRY_VERIFY(builtWith.samples >= 2);
    QCOMPARE(booth->stop(), 0);
    QCOMPARE(later.samples.load(), 0);
    QCOMPARE(builtWith.firstLength > 0, true);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::openWithoutCallback()
{
    // Samples of a graph built without a callback go nowhere.
    std::unique_ptr<IKvBooth> booth(createBooth());
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    QCOMPARE(booth->run(), 0);
    QTRY_VERIFY(kvfault::samplesDelivered(L"Virtual Camera") >= 2);
    QCOMPARE(booth->stop(), 0);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::runStopClose()
{
    std::unique_ptr<KvBooth> booth(new KvBooth);
    SampleSink sink;
    booth->setYUVDataCallBack(&sink);
    LogCapture log;
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    QCOMPARE(booth->state(), KvBooth::GraphReady);

    QCOMPARE(booth->run(), 0);
    QCOMPARE(booth->isRunning(), true);
    QCOMPARE(booth->state(), KvBooth::GraphRunning);
    QCOMPARE(booth->run(), -1);
    QTRY_VERIFY(sink.samples > 0);
    QCOMPARE(booth->stop(), 0);
    QCOMPARE(booth->isRunning(), false);
    QCOMPARE(booth->state(), KvBooth::GraphReady);
    QCOMPARE(kvfault::activeStreams(), 0);
    QCOMPARE(log.count("KvBooth::runDsEvent  thread exit!"), 1);
    QCOMPARE(booth->stop(), 1);

    // A second run makes a second event thread; the first is gone.
    const int before = sink.samples;
    QCOMPARE(booth->run(), 0);
    QTRY_VERIFY(sink.samples > before);
    // Close stops a running graph first, then tears it down.
    QCOMPARE(booth->closeCamera(), 0);
    QCOMPARE(booth->isRunning(), false);
    QCOMPARE(booth->state(), KvBooth::GraphNone);
    QCOMPARE(log.count("KvBooth::runDsEvent  thread exit!"), 2);
    QCOMPARE(kvfault::liveObjects(), 0L);
    QCOMPARE(booth->closeCamera(), 1);
}

void TestKvBooth::runFailures_data()
{
    QTest::addColumn<int>("runResult");
    QTest::addColumn<int>("stateResult");
    QTest::addColumn<int>("result");

    QTest::newRow("run fails") << HRESULT(E_FAIL) << HRESULT(S_OK) << -11;
    QTest::newRow("still changing, then running") << HRESULT(S_FALSE) << HRESULT(S_OK) << 0;
    QTest::newRow("still changing, intermediate")
        << HRESULT(S_FALSE) << HRESULT(VFW_S_STATE_INTERMEDIATE) << 0;
    QTest::newRow("still changing, cannot cue")
        << HRESULT(S_FALSE) << HRESULT(VFW_S_CANT_CUE) << -11;
    QTest::newRow("still changing, state fails") << HRESULT(S_FALSE) << HRESULT(E_FAIL) << -11;
}

void TestKvBooth::runFailures()
{
    QFETCH(int, runResult);
    QFETCH(int, stateResult);
    QFETCH(int, result);

    std::unique_ptr<KvBooth> booth(new KvBooth);
    SampleSink sink;
    booth->setYUVDataCallBack(&sink);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    kvfault::injectFault(fault(kvfault::Op::Run, runResult, 1));
    if (stateResult != S_OK)
        kvfault::injectFault(fault(kvfault::Op::GetState, stateResult, 1));
    LogCapture log;
    QCOMPARE(booth->run(), result);
    if (result == 0) {
        QCOMPARE(booth->state(), KvBooth::GraphRunning);
        QTRY_VERIFY(sink.samples > 0);
        QCOMPARE(booth->stop(), 0);
    } else {
        // Stopped again and still built: the run may be retried.
        QCOMPARE(booth->state(), KvBooth::GraphReady);
        QCOMPARE(booth->isRunning(), false);
        QVERIFY2(log.count("KvBooth>>>>pMC->Run() 80004005") == 1,
                 qPrintable(log.messages().join("\n")));
        QCOMPARE(kvfault::activeStreams(), 0);
        QCOMPARE(booth->run(), 0);
        QCOMPARE(booth->stop(), 0);
    }
    QCOMPARE(log.count("thread exit!"), 1);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::stopFailures()
{
    std::unique_ptr<KvBooth> booth(new KvBooth);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    kvfault::Fault noControl = fault(kvfault::Op::QueryInterface, E_NOINTERFACE, 1);
    noControl.id = IID_IMediaControl;
    kvfault::injectFault(noControl);
    QCOMPARE(booth->run(), -1);
    QCOMPARE(booth->state(), KvBooth::GraphReady);

    LogCapture log;
    QCOMPARE(booth->run(), 0);
    kvfault::injectFault(noControl);
    QCOMPARE(booth->stop(), -2);
    QCOMPARE(booth->isRunning(), true);
    QCOMPARE(log.count("thread exit!"), 0);

    kvfault::injectFault(fault(kvfault::Op::Stop, E_FAIL, 1));
    QCOMPARE(booth->stop(), -5);
    QCOMPARE(booth->isRunning(), true);
    QCOMPARE(booth->state(), KvBooth::GraphRunning);
    QCOMPARE(log.count("thread exit!"), 1);

    // Close stops once more; when that fails too the graph is released as it is.
    kvfault::injectFault(fault(kvfault::Op::Stop, E_FAIL, 1));
    QCOMPARE(booth->closeCamera(), 0);
    QCOMPARE(booth->state(), KvBooth::GraphNone);
    QCOMPARE(booth->isRunning(), false);
    QTRY_COMPARE(kvfault::activeStreams(), 0);
}

void TestKvBooth::eventThread()
{
    std::unique_ptr<CountingBooth> booth(new CountingBooth);
    LogCapture log;
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    QCOMPARE(booth->run(), 0);
    QCOMPARE(kvfault::unplugVirtualCamera(L"Virtual Camera"), 1);
    // The device-lost event is fetched, freed and offered to the hook.
    QTRY_VERIFY(booth->events >= 1);
    QCOMPARE(booth->lastKind.load(), 3);
    QCOMPARE(booth->stop(), 0);
    QCOMPARE(log.count("KvBooth::runDsEvent  thread exit!"), 1);
    QCOMPARE(booth->closeCamera(), 0);

    // Without an event interface the thread ends quietly and the graph still runs.
    kvfault::clearFaults();
    kvfault::Fault noEvents = fault(kvfault::Op::QueryInterface, E_NOINTERFACE);
    noEvents.id = IID_IMediaEventEx;
    kvfault::injectFault(noEvents);
    SampleSink sink;
    booth->setYUVDataCallBack(&sink);
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    QCOMPARE(booth->run(), 0);
    QTRY_VERIFY(sink.samples > 0);
    QCOMPARE(booth->stop(), 0);
    QCOMPARE(log.count("thread exit!"), 1);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::stopRightAfterRun()
{
    // A stop that may come before the event thread reaches its wait still ends it.
    std::unique_ptr<IKvBooth> booth(createBooth());
    LogCapture log;
    QCOMPARE(booth->openCamera("Virtual Camera"), 0);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(booth->run(), 0);
        QCOMPARE(booth->stop(), 0);
    }
    QCOMPARE(log.count("KvBooth::runDsEvent  thread exit!"), 20);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestKvBooth::destroyRunningBooth()
{
    SampleSink sink;
    LogCapture log;
    {
        std::unique_ptr<IKvBooth> booth(createBooth());
        booth->setYUVDataCallBack(&sink);
        QCOMPARE(booth->openCamera("Virtual Camera"), 0);
        QCOMPARE(booth->run(), 0);
        QTRY_VERIFY(sink.samples > 0);
    }
    // Stopped and closed by the destructor: no stream, thread or object is left.
    QCOMPARE(kvfault::activeStreams(), 0);
    QCOMPARE(log.count("thread exit!"), 1);
    QCOMPARE(kvfault::liveObjects(), 0L);
    const int delivered = sink.samples;
    QTest::qWait(100);
    QCOMPARE(sink.samples.load(), delivered);
}

QTEST_GUILESS_MAIN(TestKvBooth)
#include "tst_kvbooth.moc"
