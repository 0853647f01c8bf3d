// Capture graph building and format negotiation of KvBooth.
#include "kvbooth.h"

#include "ccamgrabber.h"

#include <QDebug>
#include <QThread>

#include <qedit.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

const quint32 kFourccMJPG = 0x47504A4D;
const quint32 kFourccYUY2 = 0x32595559;

struct VideoFormatBlock
{
    int width = 0;
    int height = 0;
    quint32 fourcc = 0;
    REFERENCE_TIME frameTime = 0;
    bool info2 = false;
};

// Width, height, code and frame time of a video media type; zero for a format
// block of another type or one too short to hold its header.
VideoFormatBlock readFormatBlock(const AM_MEDIA_TYPE *mt)
{
    VideoFormatBlock block;
    if (!mt->pbFormat)
        return block;
    if (mt->formattype == FORMAT_VideoInfo && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
        VIDEOINFOHEADER info;
        std::memcpy(&info, mt->pbFormat, sizeof(info));
        block.width = info.bmiHeader.biWidth;
        block.height = info.bmiHeader.biHeight;
        block.fourcc = info.bmiHeader.biCompression;
        block.frameTime = info.AvgTimePerFrame;
    } else if (mt->formattype == FORMAT_VideoInfo2 && mt->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        VIDEOINFOHEADER2 info;
        std::memcpy(&info, mt->pbFormat, sizeof(info));
        block.width = info.bmiHeader.biWidth;
        block.height = info.bmiHeader.biHeight;
        block.fourcc = info.bmiHeader.biCompression;
        block.frameTime = info.AvgTimePerFrame;
        block.info2 = true;
    }
    return block;
}

void *threadId()
{
    return QThread::currentThreadId();
}

} // namespace

int KvBooth::openCameraByPath(const CamDevInfo &info)
{
    if (createGraphObjects() < 0)
        return -1;
    if (selectCameraByPath(info) < 0)
        return -1;
    buildingGraph = true;
    const int built = buildGraph();
    buildingGraph = false;
    return built < 0 ? built : 0;
}

int KvBooth::openCamera(const QString &name)
{
    useDefaultBrightness = true;
    useDefaultContrast = true;
    useDefaultSaturation = true;

    const int created = createGraphObjects();
    if (created < 0)
        return created;
    const int selected = selectCameraByName(name);
    if (selected < 0)
        return selected;
    buildingGraph = true;
    const int built = buildGraph();
    buildingGraph = false;
    return built < 0 ? built : 0;
}

int KvBooth::createGraphObjects()
{
    if (graphState != GraphNone)
        return 1;
    std::fill(std::begin(cameraName), std::end(cameraName), WCHAR(0));

    // Objects left by an earlier creation that failed halfway are replaced, not leaked.
    if (captureBuilder) {
        captureBuilder->Release();
        captureBuilder = nullptr;
    }
    if (graph) {
        graph->Release();
        graph = nullptr;
    }

    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                                reinterpret_cast<void **>(&graph))) ||
        !graph) {
        graph = nullptr;
        return -1;
    }
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL,
                                IID_ICaptureGraphBuilder2,
                                reinterpret_cast<void **>(&captureBuilder))) ||
        !captureBuilder) {
        captureBuilder = nullptr;
        return -2;
    }
    const HRESULT hr = captureBuilder->SetFiltergraph(graph);
    graphState = GraphCreated;
    return hr != S_OK ? -10 : 0;
}

int KvBooth::buildGraph()
{
    if (graphState != GraphCreated || !cameraFilter || !graph || !captureBuilder)
        return -1;
    if (graph->AddFilter(cameraFilter, cameraName) != S_OK)
        return -1;

    if (videoCompression) {
        videoCompression->Release();
        videoCompression = nullptr;
    }
    HRESULT hr = captureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
                                               cameraFilter, IID_IAMVideoCompression,
                                               reinterpret_cast<void **>(&videoCompression));
    if (hr != S_OK) {
        if (videoCompression) {
            videoCompression->Release();
            videoCompression = nullptr;
        }
        captureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, cameraFilter,
                                      IID_IAMVideoCompression,
                                      reinterpret_cast<void **>(&videoCompression));
    }

    if (streamConfig) {
        streamConfig->Release();
        streamConfig = nullptr;
    }
    hr = captureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, cameraFilter,
                                       IID_IAMStreamConfig,
                                       reinterpret_cast<void **>(&streamConfig));
    if (hr == S_OK) {
        qDebug() << "capture-pin OK:  streamconfig  ";
    } else {
        if (streamConfig) {
            streamConfig->Release();
            streamConfig = nullptr;
        }
        hr = captureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, cameraFilter,
                                           IID_IAMStreamConfig,
                                           reinterpret_cast<void **>(&streamConfig));
        qDebug() << "capture-pin interleaved failed. turn to video. (streamconfig)" << Qt::hex
                 << hr;
        if (hr != S_OK) {
            if (streamConfig) {
                streamConfig->Release();
                streamConfig = nullptr;
            }
            return -1;
        }
    }

    select_cam_format(streamConfig);

    CCamGrabber *const factory = CCamGrabber::instance();
    factory->init(dataCallBack);
    IBaseFilter *grabber = nullptr;
    IBaseFilter *renderer = nullptr;
    factory->getGrabberFilter(&grabber);
    factory->getRenderFilter(&renderer);
    if (grabber)
        graph->AddFilter(grabber, L"grabber");
    if (renderer)
        graph->AddFilter(renderer, L"render");
    factory->reset();

    auto dropFilters = [&]() {
        if (grabber)
            grabber->Release();
        if (renderer)
            renderer->Release();
    };
    // Without both filters there is nothing to connect the camera to.
    if (!grabber || !renderer) {
        dropFilters();
        return -10;
    }

    hr = captureBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, cameraFilter,
                                      grabber, renderer);
    if (hr == VFW_S_NOPREVIEWPIN) {
        qDebug() << "renderstream: interleaved fake_preview" << Qt::hex << hr << threadId();
    } else if (hr != S_OK) {
        qDebug() << "renderstream: interleaved failed:  " << Qt::hex << hr << threadId();
        hr = captureBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, cameraFilter,
                                          grabber, renderer);
        if (hr == VFW_S_NOPREVIEWPIN) {
            qDebug() << "renderstream: mt_video fake_preview" << Qt::hex << hr << threadId();
        } else if (hr != S_OK) {
            qDebug() << "renderstream: mt_video failed!" << Qt::hex << hr << threadId();
            dropFilters();
            return -10;
        }
    }

    ISampleGrabber *sampleGrabber = nullptr;
    if (SUCCEEDED(grabber->QueryInterface(IID_ISampleGrabber,
                                          reinterpret_cast<void **>(&sampleGrabber))) &&
        sampleGrabber) {
        AM_MEDIA_TYPE connected = {};
        if (SUCCEEDED(sampleGrabber->GetConnectedMediaType(&connected))) {
            if (reportVideoFormat(&connected) == 1)
                qDebug() << "Cam_Video_Format changed on render!";
            FreeMediaType(connected);
        }
        sampleGrabber->Release();
    }

    graphState = GraphReady;
    dropFilters();
    return 0;
}

int KvBooth::select_cam_format(IAMStreamConfig *config)
{
    if (!config)
        return -100;

    AM_MEDIA_TYPE *current = nullptr;
    if (config->GetFormat(&current) == S_OK && current)
        DeleteMediaType(current);

    int count = 0;
    int size = 0;
    config->GetNumberOfCapabilities(&count, &size);
    // A device without capabilities keeps the format it has.
    if (count <= 0)
        return 0;
    // Never smaller than the record GetStreamCaps writes.
    std::vector<BYTE> caps(
        std::max<size_t>(size > 0 ? size_t(size) : 0, sizeof(VIDEO_STREAM_CONFIG_CAPS)));

    int bestIndex = 0;
    int bestScore = -1;
    qint64 bestDistance = 1 << 24;
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE *mt = nullptr;
        if (FAILED(config->GetStreamCaps(i, &mt, caps.data())) || !mt) {
            if (mt)
                DeleteMediaType(mt);
            continue;
        }
        const VideoFormatBlock block = readFormatBlock(mt);
        const bool isMjpg = block.fourcc == kFourccMJPG;
        const bool isYuy2 = block.fourcc == kFourccYUY2;
        const int score = isMjpg ? 10 : (isYuy2 ? 5 : 0);
        const qint64 distance = std::llabs(qint64(block.width) - requestedWidth);
        if (distance < bestDistance || (distance == bestDistance && score > bestScore)) {
            qDebug() << "select_cam_format mjpeg? " << isMjpg << "y2? " << isYuy2 << "info2? "
                     << block.info2 << block.width << block.height
                     << int(quint32(block.frameTime & 0xFFFFFFFF));
            bestIndex = i;
            bestScore = score;
            bestDistance = distance;
        }
        DeleteMediaType(mt);
    }

    HRESULT hr = E_FAIL;
    AM_MEDIA_TYPE *best = nullptr;
    if (SUCCEEDED(config->GetStreamCaps(bestIndex, &best, caps.data())) && best) {
        reportVideoFormat(best);
        hr = config->SetFormat(best);
    }
    if (best)
        DeleteMediaType(best);
    return hr != S_OK ? -12 : 0;
}

int KvBooth::reportVideoFormat(const AM_MEDIA_TYPE *mt)
{
    if (!mt)
        return -1;
    const VideoFormatBlock block = readFormatBlock(mt);
    const int width = block.width;
    const int height = block.height == INT_MIN ? INT_MAX : std::abs(block.height);

    const int changed =
        (block.fourcc != videoFourcc || width != videoWidth || height != videoHeight) ? 1 : 0;
    videoFourcc = block.fourcc;
    videoTopDown = block.height < 0;
    videoWidth = width;
    videoHeight = height;
    videoFps = block.frameTime != 0 ? 10000000.0 / double(block.frameTime)
                                    : std::numeric_limits<double>::infinity();

    videoFormat = QJsonObject();
    videoFormat.insert("width", videoWidth);
    videoFormat.insert("height", videoHeight);
    videoFormat.insert("fps", videoFps);
    videoFormat.insert("format", qint64(videoFourcc));

    char text[5] = {};
    std::memcpy(text, &videoFourcc, 4);
    qDebug() << "video_format changed detail: " << text << videoWidth << videoHeight;

    delete[] scratchA;
    delete[] scratchB;
    scratchA = nullptr;
    scratchB = nullptr;
    // A size whose work image an int cannot address gets none: the scaled
    // conversion then refuses.
    const qint64 bytes = qint64(videoWidth) * videoHeight * 2;
    if (videoWidth > 0 && videoHeight > 0 && bytes <= INT_MAX) {
        scratchA = new uchar[size_t(bytes)]();
        scratchB = new uchar[size_t(bytes)]();
    }

    formatValid = true;
    return changed;
}
