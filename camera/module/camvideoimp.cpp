#include "camvideoimp.h"

#include "ikvbooth.h"
#include "kvcamdata.h"
#include "kvcamerarenderwidget.h"
#include "kvcamerawidget.h"
#include "kvqtcompat.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QGuiApplication>
#include <QJsonObject>
#include <QMetaObject>
#include <QMetaType>
#include <QScreen>
#include <QVariant>

#include <climits>
#include <thread>

std::atomic<int> CamVideoImp::s_frameCounter{0};

namespace {

constexpr int kPoolCapacity = 4;
constexpr quint32 kFourccMJPG = 0x47504A4D; // 'M' 'J' 'P' 'G'

// Leaves the delivery count on every return path.
class DeliveryScope
{
public:
    explicit DeliveryScope(std::atomic<int> &count) : m_count(count)
    {
        m_count.fetch_add(1, std::memory_order_seq_cst);
    }
    ~DeliveryScope() { m_count.fetch_sub(1, std::memory_order_release); }

    DeliveryScope(const DeliveryScope &) = delete;
    DeliveryScope &operator=(const DeliveryScope &) = delete;

private:
    std::atomic<int> &m_count;
};

// The display slot, called without a lookup by name.
void callCameraWindow(QObject *display, void *frame, int width, int height)
{
    static_cast<KvCameraWidget *>(display)->slotReceiveVideoFrame(frame, width, height);
}

void callRenderWidget(QObject *display, void *frame, int width, int height)
{
    static_cast<KvCameraRenderWidget *>(display)->slotReceiveVideoFrame(frame, width, height);
}

} // namespace

CamVideoImp::CamVideoImp(IKvBooth *booth) : m_booth(booth)
{
    // Lets a call of the display slot by name carry its pointer argument
    // "void *"; the module's own frame calls need no lookup.
    kvqt::registerNormalizedTypedef(QMetaObject::normalizedType("void *"), QMetaType::VoidStar);
}

CamVideoImp::~CamVideoImp()
{
    CamVideoImp::stopCamera();
    // No frame call may reach a widget once the buffers are gone, and the
    // render widget outlives us.
    quiesceDelivery();
    QObject::disconnect(m_renderWidgetWatch);
    if (m_renderWidget)
        m_renderWidget->setAboutToBeDestroyedHandler(nullptr);

    if (m_initDone && m_initResult == 0) {
        if (m_stopEvent)
            CloseHandle(m_stopEvent);
        m_stopEvent = nullptr;
        const std::vector<FrameBuf *> &records = m_framePool.registry();
        for (int i = 0; i < m_framePool.capacity() && i < int(records.size()); ++i)
            delete records[std::size_t(i)];
        m_initDone = false;
    }

    // The booth goes before the callback object it may still hold.
    delete m_booth;
    m_booth = nullptr;
    delete m_camData;
    m_camData = nullptr;
    delete m_cameraWindow;
    m_cameraWindow = nullptr;
}

int CamVideoImp::init(double scale)
{
    if (m_initDone)
        return m_initResult;
    m_initDone = true;

    if (scale < 0) {
        if (QCoreApplication *app = QCoreApplication::instance()) {
            const QVariant v = app->property("scalefactor");
            if (v.isValid())
                scale = v.toDouble();
        }
        if (scale < 0)
            scale = 1.0;
    }
    m_scale = scale;

    m_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_framePool.Create(kPoolCapacity, m_stopEvent);
    for (int i = 0; i < kPoolCapacity; ++i)
        m_framePool.Put(new FrameBuf);

    m_initResult = 0;
    return m_initResult;
}

int CamVideoImp::startCamera(const QString &name)
{
    return start(name, false);
}

int CamVideoImp::startCameraByPath(const QString &path)
{
    return start(path, true);
}

int CamVideoImp::start(const QString &text, bool byPath)
{
    if (text.isEmpty())
        return -1;
    if (init(-1.0) < 0)
        return -1;
    if (m_started)
        return 1;
    ensureDisplayWidget();
    m_frameCount.store(0, std::memory_order_relaxed);
    m_shownAtStart = 0;
    m_shownAtStart = shownFrames();
    const int r = openAndRun(text, byPath);
    if (r < 0)
        return r;
    m_started = true;
    return 0;
}

void CamVideoImp::ensureDisplayWidget()
{
    if (m_windowMode) {
        if (!m_cameraWindow) {
            m_cameraWindow = new KvCameraWidget(m_scale, nullptr);
            m_cameraWindow->setMoveEnabled(true);
            m_cameraWindow->setResizeEnabled(true);
            const QScreen *screen = QGuiApplication::primaryScreen();
            m_cameraWindow->setBoundRect(screen ? screen->availableGeometry() : QRect());
            m_cameraWindow->moveToBottomLeft();
        }
        m_cameraWindow->show();
    } else if (!m_renderWidget) {
        QObject::disconnect(m_renderWidgetWatch);
        m_renderWidget = new KvCameraRenderWidget(nullptr);
        m_renderWidgetWatch =
            QObject::connect(m_renderWidget, &QObject::destroyed,
                             [this](QObject *widget) { onRenderWidgetDestroyed(widget); });
        // `destroyed` comes only after the widget's own destructor has run; the
        // gate must close before that, while a delivery may still reach it.
        KvCameraRenderWidget *widget = m_renderWidget.data();
        widget->setAboutToBeDestroyedHandler([this, widget]() { onRenderWidgetDestroyed(widget); });
    }
}

int CamVideoImp::openAndRun(const QString &text, bool byPath)
{
    if (!m_booth)
        return -1;

    // The booth no longer calls the previous object: nothing runs here.
    KvCamData *data = new KvCamData(
        [this](unsigned char *sample, int length) { return deliverFrame(sample, length); });
    delete m_camData;
    m_camData = data;
    m_booth->setYUVDataCallBack(m_camData);

    if (byPath) {
        CamDevInfo info;
        info.path = text;
        info.index = 0;
        m_booth->openCameraByPath(info);
    } else {
        m_booth->openCamera(text);
    }

    // The displays convert with the frame's range (BT.601 either way): MJPG
    // decodes to full-range (JPEG) YCbCr, the other formats arrive limited.
    QJsonObject format;
    const bool fullRange =
        m_booth->getVideoFormat(format) >= 0 &&
        qint64(format.value(QLatin1String("format")).toDouble()) == qint64(kFourccMJPG);
    if (m_windowMode && m_cameraWindow)
        m_cameraWindow->setColorRange(fullRange);
    else if (!m_windowMode && m_renderWidget)
        m_renderWidget->setColorRange(fullRange);

    m_deliveryTarget = m_windowMode ? static_cast<QObject *>(m_cameraWindow)
                                    : static_cast<QObject *>(m_renderWidget.data());
    m_handOff.open(m_deliveryTarget, m_windowMode ? callCameraWindow : callRenderWidget);
    m_accepting.store(true, std::memory_order_seq_cst);
    const int r = m_booth->run();
    if (r < 0) {
        // A graph left built would keep this start's callback object, which
        // the next start deletes, and would refuse the next open: tear it down.
        m_booth->stop();
        m_booth->closeCamera();
        quiesceDelivery();
    }
    return r;
}

bool CamVideoImp::isStarted()
{
    return m_started;
}

int CamVideoImp::setVideoVisible(bool visible)
{
    if (!m_started)
        return -1;
    QWidget *w = getVideoWidget();
    if (!w)
        return -2;
    w->setVisible(visible);
    return 0;
}

int CamVideoImp::stopCamera()
{
    if (!m_started)
        return 1;
    if (QWidget *w = getVideoWidget())
        w->hide();
    if (m_booth) {
        m_booth->stop();
        m_booth->closeCamera();
    }
    m_started = false;
    quiesceDelivery();
    return 0;
}

int CamVideoImp::getCameraInfos(QVector<CamDevInfo> &list)
{
    if (!m_booth)
        return -1;
    QVector<CamDevInfo> found;
    m_booth->getCameraList(found);
    for (const CamDevInfo &info : qAsConst(found))
        list.append(info);
    return list.size();
}

int CamVideoImp::getCameraNames(QStringList &names)
{
    if (!m_booth)
        return -1;
    m_booth->getCameraList(names);
    return names.size();
}

int CamVideoImp::useRenderWidget()
{
    if (m_started)
        return -1;
    m_windowMode = false;
    ensureDisplayWidget();
    return 0;
}

QWidget *CamVideoImp::getVideoWidget()
{
    if (m_windowMode)
        return m_cameraWindow;
    return m_renderWidget.data();
}

QJsonObject CamVideoImp::formatReport() const
{
    QJsonObject format;
    // The booth's report is a shared copy; reading it beside the capture
    // thread's reads is safe.
    if (!m_started || !m_booth || m_booth->getVideoFormat(format) < 0)
        return QJsonObject();
    return format;
}

int CamVideoImp::deliverFrame(unsigned char *sample, int length)
{
    DeliveryScope scope(m_inDelivery);
    if (!m_accepting.load(std::memory_order_seq_cst))
        return 0;
    if (!m_booth || !m_deliveryTarget)
        return 0;
    // While the display has not run the previous frame call, the sample is
    // skipped before it takes a buffer: nothing it holds is rewritten.
    if (!m_handOff.acquire())
        return 0;
    if (!convertAndLend(sample, length))
        m_handOff.cancel();
    return 0;
}

bool CamVideoImp::convertAndLend(unsigned char *sample, int length)
{
    QJsonObject format;
    if (m_booth->getVideoFormat(format) < 0)
        return false;
    // Const lookups: the report is shared with the booth and must not detach.
    const int width = format.value(QLatin1String("width")).toInt(0);
    const int height = format.value(QLatin1String("height")).toInt(0);
    if (width <= 0 || height <= 0)
        return false;
    const qint64 wanted = qint64(width) * height * 2;
    if (wanted > INT_MAX)
        return false;
    const int size = int(wanted);

    FrameBuf *buf = m_framePool.Get(0);
    if (!buf)
        return false;
    buf->width = width;
    buf->height = height;
    if (buf->block.Reserve(size) < 0) {
        m_framePool.Put(buf);
        return false;
    }

    const int n = s_frameCounter.fetch_add(1, std::memory_order_relaxed) + 1;
    if (n > 0 && n < 5) // n wraps after 2^31 samples; stays quiet then
        qDebug() << "cam_video frame " << n << " len : " << length;

    const bool converted = m_booth->convertFrame(sample, &length, buf->block.data, size) > 0;
    if (converted) {
        m_handOff.lend(buf->block.data, width, height);
        m_frameCount.fetch_add(1, std::memory_order_relaxed);
    }
    m_framePool.Put(buf);
    return converted;
}

qint64 CamVideoImp::shownFrames() const
{
    qint64 shown = 0;
    if (m_windowMode && m_cameraWindow)
        shown = m_cameraWindow->shownFrames();
    else if (!m_windowMode && m_renderWidget)
        shown = m_renderWidget->shownFrames();
    return std::max<qint64>(0, shown - m_shownAtStart);
}

// The host owns the render widget and may delete it while the camera runs:
// from then on samples are dropped until the next start.
void CamVideoImp::onRenderWidgetDestroyed(QObject *widget)
{
    if (m_deliveryTarget != widget)
        return;
    m_accepting.store(false, std::memory_order_seq_cst);
    while (m_inDelivery.load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield();
    m_deliveryTarget = nullptr;
}

void CamVideoImp::quiesceDelivery()
{
    m_accepting.store(false, std::memory_order_seq_cst);
    while (m_inDelivery.load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield();

    // Calls that are still queued somewhere do nothing from here on.
    if (!m_handOff.close())
        return;
    // Frame calls still queued point into our buffers: drop them, then make
    // the widgets let go of the frame they hold.
    if (m_cameraWindow) {
        QCoreApplication::removePostedEvents(m_cameraWindow, QEvent::MetaCall);
        m_cameraWindow->slotReceiveVideoFrame(nullptr, 0, 0);
    }
    if (m_renderWidget) {
        QCoreApplication::removePostedEvents(m_renderWidget, QEvent::MetaCall);
        m_renderWidget->slotReceiveVideoFrame(nullptr, 0, 0);
    }
}
