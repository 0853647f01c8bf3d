#include "kvbooth.h"

#include "dsevent.h"

#include <QDebug>
#include <QString>

KvBooth::KvBooth(QObject *parent) : QObject(parent) {}

KvBooth::~KvBooth()
{
    // A booth destroyed while its graph runs is stopped and closed first, so
    // that no event thread, sample or graph object outlives it.
    if (graphState != GraphNone)
        closeCamera();
    endEventThread();

    delete[] scratchB;
    delete[] scratchA;
    if (captureBuilder)
        captureBuilder->Release();
    if (streamConfig)
        streamConfig->Release();
    if (videoCompression)
        videoCompression->Release();
    if (cameraFilter)
        cameraFilter->Release();
    if (graph)
        graph->Release();
}

IKvBooth *createBooth()
{
    return new KvBooth(nullptr);
}

void KvBooth::setResolution(int width, int height)
{
    requestedWidth = width;
    requestedHeight = height;
}

int KvBooth::getVideoFormat(QJsonObject &format)
{
    if (!formatValid)
        return -1;
    format = videoFormat;
    return 0;
}

void KvBooth::setRotation(const int &code)
{
    switch (code) {
    case 1:
        rotation = 90;
        break;
    case 2:
        rotation = 180;
        break;
    case 3:
        rotation = 270;
        break;
    default:
        rotation = 0;
        break;
    }
}

void KvBooth::onGraphEvent(const int &) {}

int KvBooth::run()
{
    if (graphState != GraphReady || !graph)
        return -1;
    IMediaControl *control = nullptr;
    if (FAILED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control))) ||
        !control)
        return -1;

    HRESULT hr = control->Run();
    if (hr == S_FALSE) {
        OAFilterState filterState = State_Stopped;
        hr = control->GetState(1000, &filterState);
        if (hr == VFW_S_STATE_INTERMEDIATE)
            hr = S_OK;
        else if (hr == VFW_S_CANT_CUE)
            hr = E_FAIL;
    }
    if (hr != S_OK) {
        control->Stop();
        // Base 16 writes the code's 32 bits as they stand (80004005), as for a Windows long.
        qDebug()
            << QString("KvBooth>>>>pMC->Run() %1").arg(static_cast<quint32>(hr), 0, 16, QChar(' '));
        control->Release();
        return -11;
    }

    endEventThread();
    // The stop signal exists before the thread does, so a stop that comes
    // before the thread has reached its wait still ends it.
    threadStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    eventThread = new DsEvent;
    eventThread->booth = this;
    eventThread->start(QThread::InheritPriority);

    graphState = GraphRunning;
    running = true;
    control->Release();
    return 0;
}

int KvBooth::stop()
{
    if (graphState != GraphRunning)
        return 1;
    IMediaControl *control = nullptr;
    if (!graph ||
        FAILED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control))) ||
        !control)
        return -2;

    endEventThread();

    const HRESULT hr = control->Stop();
    control->Release();
    if (FAILED(hr))
        return -5;
    graphState = GraphReady;
    running = false;
    return 0;
}

void KvBooth::endEventThread()
{
    if (!eventThread)
        return;
    if (threadStopEvent)
        SetEvent(threadStopEvent);
    eventThread->wait();
    delete eventThread;
    eventThread = nullptr;
    // Closed only once the thread that waits on it is gone.
    if (threadStopEvent) {
        CloseHandle(threadStopEvent);
        threadStopEvent = nullptr;
    }
}

int KvBooth::runDsEvent()
{
    IGraphBuilder *const g = graph;
    if (!g)
        return -1;
    IMediaEventEx *events = nullptr;
    if (FAILED(g->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void **>(&events))) || !events)
        return -2;

    OAEVENT graphEvent = 0;
    events->GetEventHandle(&graphEvent);
    HANDLE handles[2] = {reinterpret_cast<HANDLE>(graphEvent), threadStopEvent};

    // One event per wake-up: the graph's handle stays set while more are queued.
    while (WaitForMultipleObjectsEx(2, handles, FALSE, INFINITE, TRUE) == WAIT_OBJECT_0) {
        long code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        if (SUCCEEDED(events->GetEvent(&code, &param1, &param2, 0))) {
            events->FreeEventParams(code, param1, param2);
            static_cast<IKvBooth *>(this)->onGraphEvent(3);
        }
    }

    qDebug() << "KvBooth::runDsEvent"
             << " thread exit!";
    events->Release();
    return 0;
}

int KvBooth::closeCamera()
{
    if (graphState == GraphNone)
        return 1;
    if (graphState == GraphRunning)
        static_cast<IKvBooth *>(this)->stop();
    // Even when the stop was refused the graph's event thread must not outlive it.
    endEventThread();
    if (graphState == GraphReady || graphState == GraphCreated)
        tearDownGraph();

    if (graph) {
        graph->Release();
        graph = nullptr;
    }
    if (cameraFilter) {
        cameraFilter->Release();
        cameraFilter = nullptr;
    }
    if (videoCompression) {
        videoCompression->Release();
        videoCompression = nullptr;
    }
    if (streamConfig) {
        streamConfig->Release();
        streamConfig = nullptr;
    }
    if (captureBuilder) {
        captureBuilder->Release();
        captureBuilder = nullptr;
    }
    graphState = GraphNone;
    running = false;
    return 0;
}

int KvBooth::tearDownGraph()
{
    if (!cameraFilter)
        return 1;
    IBaseFilter *const camera = cameraFilter;
    camera->AddRef();
    removeDownstream(camera);
    camera->Release();
    return 0;
}

void KvBooth::removeDownstream(IBaseFilter *filter)
{
    if (!filter || !graph)
        return;
    IEnumPins *pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return;
    pins->Reset();

    IPin *pin = nullptr;
    ULONG fetched = 0;
    while (pins->Next(1, &pin, &fetched) == S_OK && pin) {
        bool lastPin = false;
        IPin *connected = nullptr;
        if (SUCCEEDED(pin->ConnectedTo(&connected)) && connected) {
            PIN_INFO info = {};
            if (SUCCEEDED(connected->QueryPinInfo(&info))) {
                if (info.dir == PINDIR_INPUT && info.pFilter) {
                    removeDownstream(info.pFilter);
                    graph->Disconnect(connected);
                    graph->Disconnect(pin);
                    graph->RemoveFilter(info.pFilter);
                }
                if (info.pFilter)
                    info.pFilter->Release();
            } else {
                lastPin = true;
            }
            connected->Release();
        }
        pin->Release();
        pin = nullptr;
        if (lastPin)
            break;
    }
    pins->Release();
}
