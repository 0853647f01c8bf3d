// COM objects, device enumeration, capture graphs with virtual cameras, and fault injection.
#include "samplegenerator.h"
#include "testdata.h"
#include "testgraph.h"

#include <QtTest>

#include <turbojpeg.h>

#include <cstdlib>
#include <functional>
#include <thread>

namespace {

int g_configMessages = 0;
QtMessageHandler g_previousHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains("KV_VIRTUAL_CAMERAS"))
        ++g_configMessages;
    g_previousHandler(type, context, text);
}

struct DeviceEntry
{
    QString name;
    HRESULT pathResult;
    QString path;
};

// Every device of the video input category with the results of its two property reads.
HRESULT listDevices(QList<DeviceEntry> *list)
{
    ICreateDevEnum *devices = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICreateDevEnum, reinterpret_cast<void **>(&devices));
    if (FAILED(hr))
        return hr;
    IEnumMoniker *monikers = nullptr;
    hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
    if (hr == S_OK) {
        monikers->Reset();
        IMoniker *moniker = nullptr;
        while (monikers->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag *bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                 reinterpret_cast<void **>(&bag)))) {
                VARIANT name, path;
                VariantInit(&name);
                VariantInit(&path);
                name.vt = VT_BSTR;
                DeviceEntry e;
                if (bag->Read(L"FriendlyName", &name, nullptr) == S_OK)
                    e.name = QString::fromWCharArray(name.bstrVal);
                e.pathResult = bag->Read(L"DevicePath", &path, nullptr);
                if (e.pathResult == S_OK)
                    e.path = QString::fromWCharArray(path.bstrVal);
                list->append(e);
                VariantClear(&name);
                VariantClear(&path);
                bag->Release();
            }
            moniker->Release();
        }
        monikers->Release();
    } else if (monikers) {
        hr = E_UNEXPECTED; // S_FALSE must come without an enumerator
    }
    devices->Release();
    return hr;
}

kvplat::SampleFormat formatOf(const AM_MEDIA_TYPE &type)
{
    if (type.subtype == MEDIASUBTYPE_MJPG)
        return kvplat::SampleFormat::Mjpg;
    if (type.subtype == MEDIASUBTYPE_YUY2)
        return kvplat::SampleFormat::Yuy2;
    return kvplat::SampleFormat::Rgb24;
}

} // namespace

class PlatformGraphTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { g_previousHandler = qInstallMessageHandler(countingHandler); }
    void init()
    {
        kvfault::clearFaults();
        kvfault::setVirtualCameras(kCameras);
        m_liveObjects = kvfault::liveObjects();
        m_handles = kvfault::openHandles();
    }
    void cleanup()
    {
        kvfault::clearFaults();
        QCOMPARE(kvfault::activeStreams(), 0);
        QCOMPARE(kvfault::liveObjects(), m_liveObjects);
        QCOMPARE(kvfault::openHandles(), m_handles);
    }

    void referenceCountingAndInterfaces()
    {
        const struct
        {
            CLSID clsid;
            IID iid;
        } classes[] = {{CLSID_SystemDeviceEnum, IID_ICreateDevEnum},
                       {CLSID_FilterGraph, IID_IGraphBuilder},
                       {CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2},
                       {CLSID_SampleGrabber, IID_ISampleGrabber},
                       {CLSID_NullRenderer, IID_IBaseFilter}};
        for (const auto &c : classes) {
            IUnknown *object = nullptr;
            QCOMPARE(CoCreateInstance(c.clsid, nullptr, CLSCTX_ALL, c.iid,
                                      reinterpret_cast<void **>(&object)),
                     S_OK);
            QVERIFY(object);
            QCOMPARE(object->AddRef(), ULONG(2));
            QCOMPARE(object->Release(), ULONG(1));
            IUnknown *unknown = nullptr;
            QCOMPARE(object->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unknown)),
                     S_OK);
            QCOMPARE(unknown->Release(), ULONG(1));
            void *none = &unknown;
            QCOMPARE(object->QueryInterface(IID_IAMVideoProcAmp, &none), E_NOINTERFACE);
            QCOMPARE(none, nullptr);
            QCOMPARE(object->Release(), ULONG(0));
        }
        // The graph's interfaces are one object.
        IGraphBuilder *graph = nullptr;
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void **>(&graph));
        IMediaControl *control = nullptr;
        IUnknown *a = nullptr, *b = nullptr;
        QCOMPARE(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control)),
                 S_OK);
        graph->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&a));
        control->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&b));
        QCOMPARE(a, b);
        a->Release();
        b->Release();
        control->Release();
        QCOMPARE(graph->Release(), ULONG(0));

        void *object = &graph;
        QCOMPARE(CoCreateInstance(CLSID_SmartTee, nullptr, CLSCTX_ALL, IID_IBaseFilter, &object),
                 REGDB_E_CLASSNOTREG);
        QCOMPARE(object, nullptr);
        QCOMPARE(CoCreateInstance(CLSID_FilterGraph, reinterpret_cast<IUnknown *>(&object),
                                  CLSCTX_ALL, IID_IGraphBuilder, &object),
                 CLASS_E_NOAGGREGATION);
    }

    void enumeratesVirtualCameras()
    {
        QList<DeviceEntry> list;
        QCOMPARE(listDevices(&list), S_OK);
        QCOMPARE(list.size(), 4);
        QCOMPARE(list[0].name, QString("Cam A"));
        QCOMPARE(list[0].path, QString("virtual:a"));
        QCOMPARE(list[1].name, QString("No Path"));
        QVERIFY(FAILED(list[1].pathResult));
        QCOMPARE(list[2].pathResult, S_OK);
        QCOMPARE(list[2].path, QString(""));
        QCOMPARE(list[3].path, QString("virtual:red"));

        for (const char *none : {static_cast<const char *>(nullptr), "", "[]"}) {
            kvfault::setVirtualCameras(none);
            list.clear();
            QCOMPARE(listDevices(&list), S_FALSE);
            QVERIFY(list.isEmpty());
        }
    }

    void malformedValueGivesNoCameras_data()
    {
        QTest::addColumn<QByteArray>("value");
        for (const MalformedValue &m : malformedValues())
            QTest::newRow(m.name) << QByteArray(m.value);
    }
    void malformedValueGivesNoCameras()
    {
        QFETCH(QByteArray, value);
        // A good camera before the bad one does not survive either.
        const QByteArray withGood =
            value.startsWith("[{") ? "[" + QByteArray(kGoodCamera) + ", " + value.mid(1) : value;
        kvfault::setVirtualCameras(withGood.constData());
        g_configMessages = 0;
        QList<DeviceEntry> list;
        QCOMPARE(listDevices(&list), S_FALSE);
        QCOMPARE(listDevices(&list), S_FALSE);
        QVERIFY(list.isEmpty());
        QCOMPARE(g_configMessages, 1);
    }

    void camerasWithoutPathAreLogged()
    {
        QStringList seen;
        static QStringList *sink = nullptr;
        sink = &seen;
        QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &text) { sink->append(text); });
        // A value not seen before, so its notes are written now, and only once.
        const QByteArray value = QByteArray(kCameras) + " ";
        kvfault::setVirtualCameras(value.constData());
        QList<DeviceEntry> list;
        QCOMPARE(listDevices(&list), S_OK);
        QCOMPARE(listDevices(&list), S_OK);
        qInstallMessageHandler(previous);
        QCOMPARE(list.size(), 8);
        QCOMPARE(seen.filter("KV_VIRTUAL_CAMERAS").size(), 2);
        QCOMPARE(seen.filter("camera \"No Path\" has no path").size(), 1);
        QCOMPARE(seen.filter("camera \"Empty Path\" has an empty path").size(), 1);

        // The slowest rate the configuration takes still has a frame interval.
        kvfault::setVirtualCameras(
            R"([{"name": "Slow", "path": "virtual:slow", "formats": [{"fourcc": "YUY2", "width": 64, "height": 48, "fps": 0.01}]}])");
        list.clear();
        QCOMPARE(listDevices(&list), S_OK);
        QCOMPARE(list.size(), 1);
    }

    void generatorPatterns()
    {
        kvplat::SamplePattern pattern;
        QVERIFY(kvplat::parseSamplePattern("solid:#00ff7F", &pattern));
        QVERIFY(pattern.solid && pattern.red == 0 && pattern.green == 255 && pattern.blue == 127);
        QVERIFY(kvplat::parseSamplePattern("bars", &pattern) && !pattern.solid);
        QVERIFY(!kvplat::parseSamplePattern("solid:#00ff7", &pattern));
        QVERIFY(!kvplat::parseSamplePattern("solid:#00ff7G", &pattern));

        kvplat::SampleGenerator generator;
        std::vector<uint8_t> a, b;
        QVERIFY(generator.render(kvplat::SampleFormat::Yuy2, 64, 48, pattern, 1, a));
        QVERIFY(generator.render(kvplat::SampleFormat::Yuy2, 64, 48, pattern, 2, b));
        QCOMPARE(a.size(), size_t(64 * 48 * 2));
        QVERIFY(a != b); // the bars move and the counter counts
        QVERIFY(!generator.render(kvplat::SampleFormat::Yuy2, 63, 48, pattern, 1, a));
        QVERIFY(!generator.render(kvplat::SampleFormat::Mjpg, 0, 0, pattern, 1, a));

        // A solid colour is exact in RGB24 and close after JPEG.
        QVERIFY(kvplat::parseSamplePattern("solid:#FF8000", &pattern));
        QVERIFY(generator.render(kvplat::SampleFormat::Rgb24, 16, 8, pattern, 0, a));
        for (size_t i = 0; i < a.size(); i += 3)
            QVERIFY(a[i] == 0x00 && a[i + 1] == 0x80 && a[i + 2] == 0xFF);
        QVERIFY(generator.render(kvplat::SampleFormat::Mjpg, 16, 8, pattern, 0, a));
        tjhandle decoder = tjInitDecompress();
        std::vector<uint8_t> rgb(16 * 8 * 3);
        QCOMPARE(tjDecompress2(decoder, a.data(), a.size(), rgb.data(), 16, 0, 8, TJPF_RGB, 0), 0);
        tjDestroy(decoder);
        for (size_t i = 0; i < rgb.size(); i += 3)
            QVERIFY(qAbs(rgb[i] - 255) <= 6 && qAbs(rgb[i + 1] - 128) <= 6 && rgb[i + 2] <= 6);
    }

    void samplesOfEachFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("MJPG") << 0;
        QTest::newRow("YUY2") << 1;
        QTest::newRow("RGB24") << 2;
    }
    void samplesOfEachFormat()
    {
        QFETCH(int, format);
        TestGraph g;
        QVERIFY2(g.build(L"Cam A", format), qPrintable(g.failure));
        // A camera without a preview pin: the builder splits its capture pin.
        QCOMPARE(g.renderResult, VFW_S_NOPREVIEWPIN);
        AM_MEDIA_TYPE type;
        QCOMPARE(g.grabber->GetConnectedMediaType(&type), S_OK);
        const auto *info = reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat);
        const int width = info->bmiHeader.biWidth, height = info->bmiHeader.biHeight;
        const REFERENCE_TIME interval = info->AvgTimePerFrame;
        const kvplat::SampleFormat sampleFormat = formatOf(type);
        QCOMPARE(interval, REFERENCE_TIME(333333));
        QCOMPARE(width, format == 0 ? 320 : 160);
        FreeMediaType(type);
        kvfault::FormatCall set;
        QVERIFY(kvfault::lastSetFormat(L"Cam A", &set));
        QCOMPARE(int(set.width), width);

        QCOMPARE(g.control->Run(), S_OK);
        OAFilterState state = State_Stopped;
        QCOMPARE(g.control->GetState(1000, &state), S_OK);
        QCOMPARE(state, OAFilterState(State_Running));
        QTRY_VERIFY_WITH_TIMEOUT(g.callback->samples >= 3, 10000);
        QCOMPARE(g.control->Stop(), S_OK);
        REFERENCE_TIME start = 0;
        const std::vector<BYTE> sample = g.callback->lastSample(&start);
        QVERIFY(start % interval == 0);

        // The very bytes the generator makes for that frame.
        kvplat::SampleGenerator generator;
        std::vector<uint8_t> expected;
        QVERIFY(generator.render(sampleFormat, width, height, kvplat::SamplePattern(),
                                 uint64_t(start / interval), expected));
        QVERIFY(sample == expected);

        if (sampleFormat == kvplat::SampleFormat::Mjpg) {
            // An independent decode: 4:2:2 JPEG of the generator's picture, in full range.
            tjhandle decoder = tjInitDecompress();
            int w = 0, h = 0, subsampling = -1, colourspace = -1;
            QCOMPARE(tjDecompressHeader3(decoder, sample.data(), sample.size(), &w, &h,
                                         &subsampling, &colourspace),
                     0);
            QCOMPARE(w, width);
            QCOMPARE(h, height);
            QCOMPARE(subsampling, int(TJSAMP_422));
            std::vector<uint8_t> planes(size_t(w) * h * 2);
            QCOMPARE(tjDecompressToYUV2(decoder, sample.data(), sample.size(), planes.data(), w, 1,
                                        h, 0),
                     0);
            tjDestroy(decoder);
            double difference = 0;
            for (size_t i = 0; i < size_t(w) * h; ++i)
                difference += qAbs(int(planes[i]) - (int(generator.planeY()[i]) - 16) * 255 / 219);
            QVERIFY(difference / (w * h) < 2.0);
        } else if (sampleFormat == kvplat::SampleFormat::Rgb24) {
            // Bottom-up: picture row y is buffer row height - 1 - y.
            for (int y = 0; y < height; ++y) {
                const BYTE *row = sample.data() + size_t(height - 1 - y) * width * 3;
                for (int x = 0; x < width; ++x) {
                    const int b = row[3 * x], gr = row[3 * x + 1], r = row[3 * x + 2];
                    const int luma = ((66 * r + 129 * gr + 25 * b + 128) >> 8) + 16;
                    QVERIFY2(qAbs(luma - generator.planeY()[size_t(y) * width + x]) <= 1,
                             qPrintable(QString("x %1 y %2").arg(x).arg(y)));
                }
            }
        } else {
            QCOMPARE(sample.size(), size_t(width * height * 2));
        }
    }

    void stopEndsSamplesBeforeReturning()
    {
        TestGraph g;
        QVERIFY2(g.build(L"Cam A", 1), qPrintable(g.failure));
        QCOMPARE(g.control->Run(), S_OK);
        QTRY_VERIFY_WITH_TIMEOUT(g.callback->samples >= 2, 10000);
        QCOMPARE(kvfault::activeStreams(L"virtual:a"), 1);
        QCOMPARE(g.control->Stop(), S_OK);
        const int stoppedAt = g.callback->samples;
        QCOMPARE(kvfault::activeStreams(), 0);
        QTest::qWait(150);
        QCOMPARE(g.callback->samples.load(), stoppedAt);
        QCOMPARE(kvfault::samplesDelivered(L"Cam A"), (long long)stoppedAt);
        // Run again after a stop.
        QCOMPARE(g.control->Run(), S_OK);
        QTRY_VERIFY_WITH_TIMEOUT(g.callback->samples > stoppedAt, 10000);
    }

    void unplugQueuesDeviceLost()
    {
        TestGraph g;
        QVERIFY2(g.build(L"Cam A", 1), qPrintable(g.failure));
        OAEVENT graphEvent = 0;
        QCOMPARE(g.events->GetEventHandle(&graphEvent), S_OK);
        HANDLE handles[2] = {reinterpret_cast<HANDLE>(graphEvent),
                             CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        QCOMPARE(g.control->Run(), S_OK);
        QTRY_VERIFY_WITH_TIMEOUT(g.callback->samples >= 2, 10000);

        // An event thread like the capture engine's waits for either handle.
        std::atomic<DWORD> woke{0xFFFF};
        std::thread eventThread(
            [&] { woke = WaitForMultipleObjectsEx(2, handles, FALSE, INFINITE, TRUE); });
        QCOMPARE(kvfault::unplugVirtualCamera(L"virtual:a"), 1);
        const int lostAt = g.callback->samples;
        eventThread.join();
        QCOMPARE(woke.load(), DWORD(WAIT_OBJECT_0));

        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        QCOMPARE(g.events->GetEvent(&code, &p1, &p2, 0), S_OK);
        QCOMPARE(code, long(EC_DEVICE_LOST));
        IUnknown *cameraUnknown = nullptr;
        g.camera->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&cameraUnknown));
        QCOMPARE(reinterpret_cast<IUnknown *>(p1), cameraUnknown);
        QCOMPARE(p2, LONG_PTR(0));
        cameraUnknown->Release();
        QCOMPARE(g.events->FreeEventParams(code, p1, p2), S_OK);
        // Drained: the handle is reset and no event is left.
        QCOMPARE(WaitForSingleObject(handles[0], 0), DWORD(WAIT_TIMEOUT));
        QCOMPARE(g.events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
        QTest::qWait(100);
        QCOMPARE(g.callback->samples.load(), lostAt);
        QCOMPARE(kvfault::activeStreams(), 0);

        // Gone from later enumerations until plugged in again.
        QVERIFY(!findDevice(L"Cam A"));
        kvfault::replugVirtualCamera(L"virtual:a");
        IMoniker *back = findDevice(L"Cam A");
        QVERIFY(back);
        back->Release();
        QVERIFY(CloseHandle(handles[1]));
    }

    void unpluggedEventsAreFreedWithTheGraph()
    {
        {
            TestGraph g;
            QVERIFY2(g.build(L"Red", 1), qPrintable(g.failure));
            QCOMPARE(g.control->Run(), S_OK);
            QTRY_VERIFY_WITH_TIMEOUT(g.callback->samples >= 1, 10000);
            QCOMPARE(kvfault::unplugVirtualCamera(L"Red"), 1);
            QCOMPARE(g.control->Run(), S_OK); // already running; the device is just silent
        }
        // cleanup() checks that the queued event's filter reference went with the graph.
    }

    void sampleKeptByTheCallbackStaysValid()
    {
        TestGraph g;
        g.callback->keep = true;
        QVERIFY2(g.build(L"Cam A", 2), qPrintable(g.failure));
        QCOMPARE(g.control->Run(), S_OK);
        QTRY_VERIFY_WITH_TIMEOUT(g.callback->samples >= 3, 10000);
        QCOMPARE(g.control->Stop(), S_OK);
        IMediaSample *kept = g.callback->kept;
        QVERIFY(kept);
        BYTE *data = nullptr;
        kept->GetPointer(&data);
        REFERENCE_TIME start = 0, end = 0;
        QCOMPARE(kept->GetTime(&start, &end), S_OK);
        QCOMPARE(start, REFERENCE_TIME(0));
        kvplat::SampleGenerator generator;
        std::vector<uint8_t> first;
        generator.render(kvplat::SampleFormat::Rgb24, 160, 120, kvplat::SamplePattern(), 0, first);
        QCOMPARE(kept->GetActualDataLength(), long(first.size()));
        QVERIFY(std::equal(first.begin(), first.end(), data));
    }

    void procAmpRangesAndPicture()
    {
        TestGraph g;
        QVERIFY2(g.build(L"Cam A", 1), qPrintable(g.failure));
        IAMVideoProcAmp *procAmp = nullptr;
        QCOMPARE(g.camera->QueryInterface(IID_IAMVideoProcAmp, reinterpret_cast<void **>(&procAmp)),
                 S_OK);
        long min, max, step, def, caps;
        QCOMPARE(procAmp->GetRange(VideoProcAmp_Brightness, &min, &max, &step, &def, &caps), S_OK);
        QVERIFY(min == -64 && max == 64 && def == 0 && caps == VideoProcAmp_Flags_Manual);
        QCOMPARE(procAmp->GetRange(VideoProcAmp_Contrast, &min, &max, &step, &def, &caps), S_OK);
        QVERIFY(min == 0 && max == 100 && def == 32);
        QCOMPARE(procAmp->GetRange(VideoProcAmp_Saturation, &min, &max, &step, &def, &caps), S_OK);
        QVERIFY(min == 0 && max == 128 && def == 64);
        QCOMPARE(procAmp->GetRange(VideoProcAmp_Hue, &min, &max, &step, &def, &caps),
                 E_PROP_ID_UNSUPPORTED);

        QCOMPARE(procAmp->Set(VideoProcAmp_Brightness, 20, VideoProcAmp_Flags_Manual), S_OK);
        QCOMPARE(procAmp->Set(VideoProcAmp_Saturation, 0, VideoProcAmp_Flags_Manual), S_OK);
        QCOMPARE(procAmp->Set(VideoProcAmp_Contrast, 101, VideoProcAmp_Flags_Manual), E_INVALIDARG);
        long value = 0, flags = 0;
        QCOMPARE(procAmp->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
        QCOMPARE(value, 20L);
        kvfault::ProcAmpCall call;
        QVERIFY(kvfault::lastProcAmpSet(L"virtual:a", VideoProcAmp_Contrast, &call));
        QVERIFY(call.value == 101 && call.count == 1);
        QVERIFY(kvfault::lastProcAmpSet(L"Cam A", VideoProcAmp_Brightness, &call));
        QCOMPARE(call.value, 20L);
        procAmp->Release();

        // Brightness shifts luma, saturation 0 leaves no colour.
        QCOMPARE(g.control->Run(), S_OK);
        QTRY_VERIFY_WITH_TIMEOUT(g.callback->samples >= 2, 10000);
        QCOMPARE(g.control->Stop(), S_OK);
        REFERENCE_TIME start = 0;
        const std::vector<BYTE> sample = g.callback->lastSample(&start);
        kvplat::SampleGenerator generator;
        std::vector<uint8_t> plain;
        generator.render(kvplat::SampleFormat::Yuy2, 160, 120, kvplat::SamplePattern(),
                         uint64_t(start / 333333), plain);
        QCOMPARE(sample.size(), plain.size());
        for (size_t i = 0; i + 3 < sample.size(); i += 4) {
            QCOMPARE(int(sample[i + 1]), 128);
            QCOMPARE(int(sample[i + 3]), 128);
        }
        // The white bar (first column, below the counter) is 20 brighter than without the shift.
        const size_t row = 100 * 160 * 2;
        QCOMPARE(int(sample[row + 0]), qMin(255, int(plain[row + 0]) + 20));
    }

    void teardownLeavesTheCamera()
    {
        TestGraph g;
        QVERIFY2(g.build(L"Cam A", 1), qPrintable(g.failure));
        // Remove everything downstream of the camera, pin by pin.
        std::function<void(IBaseFilter *)> removeDownstream = [&](IBaseFilter *filter) {
            IEnumPins *pins = nullptr;
            QCOMPARE(filter->EnumPins(&pins), S_OK);
            pins->Reset();
            IPin *pin = nullptr;
            while (pins->Next(1, &pin, nullptr) == S_OK) {
                IPin *peer = nullptr;
                if (pin->ConnectedTo(&peer) == S_OK) {
                    PIN_INFO info;
                    QCOMPARE(peer->QueryPinInfo(&info), S_OK);
                    if (info.dir == PINDIR_INPUT) {
                        removeDownstream(info.pFilter);
                        QCOMPARE(g.graph->Disconnect(peer), S_OK);
                        QCOMPARE(g.graph->Disconnect(pin), S_OK);
                        QCOMPARE(g.graph->RemoveFilter(info.pFilter), S_OK);
                    }
                    info.pFilter->Release();
                    peer->Release();
                }
                pin->Release();
            }
            pins->Release();
        };
        removeDownstream(g.camera);
        IEnumFilters *filters = nullptr;
        QCOMPARE(g.graph->EnumFilters(&filters), S_OK);
        IBaseFilter *items[4] = {};
        ULONG fetched = 0;
        QCOMPARE(filters->Next(4, items, &fetched), S_FALSE);
        QCOMPARE(fetched, ULONG(1));
        QCOMPARE(items[0], g.camera);
        items[0]->Release();
        filters->Release();
        IPin *capture = nullptr;
        QCOMPARE(g.camera->FindPin(L"Capture", &capture), S_OK);
        IPin *peer = &*capture;
        QCOMPARE(capture->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        QCOMPARE(peer, nullptr);
        capture->Release();
    }

    void injectedRenderStreamAndRunResults()
    {
        // The first RenderStream (interleaved) reports the fake preview, the second is not needed.
        const int render = kvfault::failOnce(kvfault::Op::RenderStream, VFW_S_NOPREVIEWPIN);
        kvfault::Fault run;
        run.op = kvfault::Op::Run;
        run.result = S_FALSE;
        run.times = 1;
        kvfault::injectFault(run);
        kvfault::failOnce(kvfault::Op::GetState, VFW_S_STATE_INTERMEDIATE);
        kvfault::failOnce(kvfault::Op::Stop, E_FAIL);
        {
            TestGraph g;
            QVERIFY2(g.build(L"Cam A", 1), qPrintable(g.failure));
            QCOMPARE(g.renderResult, VFW_S_NOPREVIEWPIN);
            QCOMPARE(kvfault::faultHits(render), 1);
            QCOMPARE(g.control->Run(), S_FALSE);
            OAFilterState state = State_Stopped;
            QCOMPARE(g.control->GetState(1000, &state), VFW_S_STATE_INTERMEDIATE);
            QCOMPARE(state, OAFilterState(State_Running));
            QCOMPARE(g.control->GetState(1000, &state), S_OK);
            QTRY_VERIFY_WITH_TIMEOUT(g.callback->samples >= 1, 10000);
            // A failed stop leaves the camera streaming; releasing the graph stops it anyway.
            QCOMPARE(g.control->Stop(), E_FAIL);
            QCOMPARE(kvfault::activeStreams(), 1);
            releaseAndClear(g.control);
        }
        QCOMPARE(kvfault::activeStreams(), 0);

        kvfault::failAlways(kvfault::Op::RenderStream, E_FAIL);
        TestGraph failing;
        QVERIFY(!failing.build(L"Cam A", 1));
        QCOMPARE(failing.renderResult, E_FAIL);
    }

    void streamConfigRules()
    {
        TestGraph g;
        QVERIFY2(g.build(L"Cam A", -1), qPrintable(g.failure));
        int count = 0, size = 0;
        QCOMPARE(g.config->GetNumberOfCapabilities(&count, &size), S_OK);
        QCOMPARE(count, 3);
        AM_MEDIA_TYPE *type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        QCOMPARE(g.config->GetStreamCaps(3, &type, reinterpret_cast<BYTE *>(&caps)), S_FALSE);
        QCOMPARE(type, nullptr);
        QCOMPARE(g.config->GetStreamCaps(2, &type, reinterpret_cast<BYTE *>(&caps)), S_OK);
        QVERIFY(type->subtype == MEDIASUBTYPE_RGB24 && type->formattype == FORMAT_VideoInfo);
        const auto *info = reinterpret_cast<VIDEOINFOHEADER *>(type->pbFormat);
        QCOMPARE(info->bmiHeader.biCompression, DWORD(BI_RGB));
        QCOMPARE(info->bmiHeader.biBitCount, WORD(24));
        QCOMPARE(type->lSampleSize, ULONG(160 * 120 * 3));
        QCOMPARE(caps.MaxOutputSize.cx, LONG(160));
        QCOMPARE(caps.MinFrameInterval, LONGLONG(333333));

        // Connected (and running) pins refuse a new format.
        QCOMPARE(g.config->SetFormat(type), VFW_E_ALREADY_CONNECTED);
        QCOMPARE(g.control->Run(), S_OK);
        QCOMPARE(g.config->SetFormat(type), VFW_E_NOT_STOPPED);
        IPin *capture = nullptr;
        QCOMPARE(g.camera->FindPin(L"Capture", &capture), S_OK);
        QCOMPARE(capture->Disconnect(), VFW_E_NOT_STOPPED);
        QCOMPARE(g.control->Stop(), S_OK);

        // A format the camera does not offer is refused.
        reinterpret_cast<VIDEOINFOHEADER *>(type->pbFormat)->bmiHeader.biWidth = 161;
        IBaseFilter *other = nullptr;
        IMoniker *moniker = findDevice(L"Cam A");
        moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&other));
        moniker->Release();
        IAMStreamConfig *otherConfig = nullptr;
        QCOMPARE(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, other,
                                          IID_IAMStreamConfig,
                                          reinterpret_cast<void **>(&otherConfig)),
                 S_OK);
        QCOMPARE(otherConfig->SetFormat(type), VFW_E_INVALIDMEDIATYPE);
        QCOMPARE(otherConfig->SetFormat(nullptr), S_OK);
        DeleteMediaType(type);
        QCOMPARE(otherConfig->GetFormat(&type), S_OK);
        QVERIFY(type->subtype == MEDIASUBTYPE_MJPG);
        DeleteMediaType(type);
        otherConfig->Release();
        other->Release();

        PIN_DIRECTION direction = PINDIR_INPUT;
        QCOMPARE(capture->QueryDirection(&direction), S_OK);
        QCOMPARE(direction, PINDIR_OUTPUT);
        AM_MEDIA_TYPE connected;
        QCOMPARE(capture->ConnectionMediaType(&connected), S_OK);
        QVERIFY(connected.subtype == MEDIASUBTYPE_MJPG);
        FreeMediaType(connected);
        IPin *tee = nullptr;
        QCOMPARE(capture->ConnectedTo(&tee), S_OK);
        PIN_INFO pinInfo;
        QCOMPARE(tee->QueryPinInfo(&pinInfo), S_OK);
        QCOMPARE(QString::fromWCharArray(pinInfo.achName), QString("Input"));
        FILTER_INFO filterInfo;
        QCOMPARE(pinInfo.pFilter->QueryFilterInfo(&filterInfo), S_OK);
        QCOMPARE(QString::fromWCharArray(filterInfo.achName), QString("Smart Tee"));
        filterInfo.pGraph->Release();
        pinInfo.pFilter->Release();
        QCOMPARE(capture->Connect(tee, nullptr), VFW_E_ALREADY_CONNECTED);
        tee->Release();
        capture->Release();
    }

    // A grabber that takes no video of this kind: nothing stays connected, no tee is left.
    void failedRenderStreamRollsBack()
    {
        TestGraph g;
        g.acceptedSubtype = MEDIASUBTYPE_RGB24;
        QVERIFY(!g.build(L"Cam A", 1));
        QCOMPARE(g.renderResult, VFW_E_NO_ACCEPTABLE_TYPES);
        IBaseFilter *tee = nullptr;
        QCOMPARE(g.graph->FindFilterByName(L"Smart Tee", &tee), VFW_E_NOT_FOUND);
        IPin *capture = nullptr, *peer = nullptr;
        g.camera->FindPin(L"Capture", &capture);
        QCOMPARE(capture->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        capture->Release();
        AM_MEDIA_TYPE type;
        QCOMPARE(g.grabber->GetConnectedMediaType(&type), VFW_E_NOT_CONNECTED);
        // With a type it takes, the same graph connects.
        AM_MEDIA_TYPE wanted = {};
        wanted.majortype = MEDIATYPE_Video;
        wanted.subtype = MEDIASUBTYPE_YUY2;
        QCOMPARE(g.grabber->SetMediaType(&wanted), S_OK);
        QCOMPARE(g.builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, g.camera,
                                         g.grabberFilter, g.renderer),
                 VFW_S_NOPREVIEWPIN);
        QCOMPARE(g.grabber->GetConnectedMediaType(&type), S_OK);
        FreeMediaType(type);
    }

    void eventQueueWaits()
    {
        IMediaEventEx *events = nullptr;
        QCOMPARE(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IMediaEventEx, reinterpret_cast<void **>(&events)),
                 S_OK);
        long code = 1;
        LONG_PTR p1 = 1, p2 = 1;
        QCOMPARE(events->GetEvent(&code, &p1, &p2, 20), E_ABORT);
        QVERIFY(code == 0 && p1 == 0 && p2 == 0);
        long flags = -1;
        QCOMPARE(events->GetNotifyFlags(&flags), S_OK);
        QCOMPARE(flags, 0L);
        QCOMPARE(events->SetNotifyFlags(2), E_INVALIDARG);
        QCOMPARE(events->WaitForCompletion(0, &code), VFW_E_WRONG_STATE);
        QCOMPARE(events->Release(), ULONG(0));
    }

    void bstrAndVariant()
    {
        BSTR text = SysAllocString(L"Cam \u00e9");
        QCOMPARE(SysStringLen(text), UINT(5));
        QCOMPARE(text[5], L'\0');
        VARIANT v;
        VariantInit(&v);
        QCOMPARE(v.vt, VARTYPE(VT_EMPTY));
        v.vt = VT_BSTR;
        v.bstrVal = text; // owned by the variant now
        QCOMPARE(VariantClear(&v), S_OK);
        QCOMPARE(v.vt, VARTYPE(VT_EMPTY));
        QCOMPARE(SysAllocString(nullptr), nullptr);
        SysFreeString(nullptr);
        QCOMPARE(SysStringLen(nullptr), UINT(0));
    }

    // A QueryInterface fault answers the caller's QueryInterface, not the one inside creation.
    void queryInterfaceFaultSparesCreation()
    {
        kvfault::failAlways(kvfault::Op::QueryInterface, E_NOINTERFACE, IID_IBaseFilter);
        ISampleGrabber *grabber = nullptr;
        IBaseFilter *renderer = nullptr;
        QCOMPARE(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                                  reinterpret_cast<void **>(&renderer)),
                 S_OK);
        QCOMPARE(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_ALL, IID_ISampleGrabber,
                                  reinterpret_cast<void **>(&grabber)),
                 S_OK);
        IMoniker *camera = findDevice(L"Cam A");
        IBaseFilter *filter = nullptr;
        QCOMPARE(camera->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                      reinterpret_cast<void **>(&filter)),
                 S_OK);
        void *asFilter = &filter;
        QCOMPARE(grabber->QueryInterface(IID_IBaseFilter, &asFilter), E_NOINTERFACE);
        QCOMPARE(asFilter, nullptr);
        filter->Release();
        camera->Release();
        grabber->Release();
        renderer->Release();
    }

    void injectedCreationAndEnumerationFaults()
    {
        kvfault::failAlways(kvfault::Op::CoCreateInstance, E_OUTOFMEMORY, CLSID_SampleGrabber);
        kvfault::Fault path;
        path.op = kvfault::Op::PropertyBagRead;
        path.device = L"Cam A";
        path.name = L"DevicePath";
        kvfault::injectFault(path);
        kvfault::Fault caps;
        caps.op = kvfault::Op::GetNumberOfCapabilities;
        caps.result = S_OK;
        caps.count = 0;
        kvfault::injectFault(caps);
        kvfault::Fault bind;
        bind.op = kvfault::Op::BindToObject;
        bind.device = L"virtual:red";
        bind.skip = 1;
        bind.times = 1;
        const int bindId = kvfault::injectFault(bind);
        kvfault::failAlways(kvfault::Op::QueryInterface, E_NOINTERFACE, IID_IAMVideoProcAmp);
        kvfault::failOnce(kvfault::Op::QueryInterface, E_NOINTERFACE, IID_IMediaControl);

        QList<DeviceEntry> list;
        QCOMPARE(listDevices(&list), S_OK);
        QVERIFY(FAILED(list[0].pathResult));
        QCOMPARE(list[0].name, QString("Cam A"));
        QCOMPARE(list[3].pathResult, S_OK);

        TestGraph g;
        QVERIFY(!g.build(L"Cam A", -1));
        QVERIFY(g.failure.startsWith("SampleGrabber"));
        int count = -1, size = 0;
        QCOMPARE(g.config->GetNumberOfCapabilities(&count, &size), S_OK);
        QCOMPARE(count, 0);
        QCOMPARE(size, int(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
        void *procAmp = &count;
        QCOMPARE(g.camera->QueryInterface(IID_IAMVideoProcAmp, &procAmp), E_NOINTERFACE);
        QCOMPARE(procAmp, nullptr);
        void *control = &count;
        QCOMPARE(g.graph->QueryInterface(IID_IMediaControl, &control), E_NOINTERFACE);
        QCOMPARE(g.graph->QueryInterface(IID_IMediaControl, &control), S_OK);
        static_cast<IMediaControl *>(control)->Release();

        // The second bind of that device fails, the first and third do not.
        IMoniker *red = findDevice(L"Red");
        QVERIFY(red);
        for (HRESULT expected : {S_OK, E_FAIL, S_OK}) {
            IBaseFilter *filter = nullptr;
            QCOMPARE(red->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                       reinterpret_cast<void **>(&filter)),
                     expected);
            QCOMPARE(filter != nullptr, expected == S_OK);
            if (filter)
                filter->Release();
        }
        QCOMPARE(kvfault::faultHits(bindId), 1);
        red->Release();
    }

private:
    long m_liveObjects = 0;
    long m_handles = 0;
};

QTEST_GUILESS_MAIN(PlatformGraphTest)
#include "tst_platformgraph.moc"
