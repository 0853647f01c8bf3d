// Physical sizes of the libraries' windows and text at the screen's DPI, read
// from the X server: a host's "scalefactor" means physical pixels per design
// pixel under Qt 5 and Qt 6 alike, although Qt 6 scales by the screen's DPI
// itself. The run sets the X resource Xft.dpi (KV_TEST_XFT_DPI) before Qt
// starts, as a desktop does on a high-DPI screen.
#include "hostoptions.h"

#include <camvideo.h>
#include <iroominfo.h>

#include <QApplication>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

int xftDpi()
{
    return qEnvironmentVariableIntValue("KV_TEST_XFT_DPI");
}

// As `xrdb -merge` with "Xft.dpi: <dpi>" would: Qt's xcb platform reads the
// resource when it connects. The connection stays open until Qt has read it:
// Xvfb resets, and forgets the resource, when its last client leaves.
Display *setXftDpi(int dpi)
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return nullptr;
    const QByteArray resources = "Xft.dpi:\t" + QByteArray::number(dpi) + "\n";
    XChangeProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(resources.constData()),
                    int(resources.size()));
    XSync(d, False);
    return d;
}

QSize physicalSize(const QWidget *w)
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return {};
    XWindowAttributes a{};
    const Status ok = XGetWindowAttributes(d, Window(w->winId()), &a);
    XCloseDisplay(d);
    return ok ? QSize(a.width, a.height) : QSize();
}

bool near(int actual, double expected, double tolerance)
{
    return std::abs(actual - expected) <= tolerance;
}

} // namespace

class TestHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("KV_VIRTUAL_CAMERAS",
                R"([{"name": "Dpi Cam", "path": "virtual:dpi", "formats":
                    [{"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30}],
                    "pattern": "bars"}])");
    }

    // The premise: Qt 5 leaves the screen's DPI to the fonts, Qt 6 scales by it.
    void qtRatio()
    {
        const double dpi = xftDpi() > 0 ? xftDpi() : 96;
        const double ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
        if (QLibraryInfo::version().majorVersion() >= 6)
            QCOMPARE(ratio, dpi / 96);
        else
            QCOMPARE(ratio, 1.0);
    }

    void hostDefault()
    {
        QCOMPARE(defaultScaleFactor(QString()), 1.0);
        QCOMPARE(defaultScaleFactor("2"), 2.0);
        QCOMPARE(defaultScaleFactor("0"), 1.0);
        QCOMPARE(defaultScaleFactor("lots"), 1.0);
    }

    void cameraWindow_data()
    {
        QTest::addColumn<double>("scalefactor");
        QTest::newRow("host default") << defaultScaleFactor(QString());
        QTest::newRow("1.5") << 1.5;
    }

    // 400 x 225 design pixels for a 16:9 camera, whatever Qt scales by.
    void cameraWindow()
    {
        QFETCH(double, scalefactor);
        qApp->setProperty("scalefactor", scalefactor);
        std::unique_ptr<CamVideo> cam(CamVideo::create());
        QCOMPARE(cam->init(-1), 0);
        QVector<CamDevInfo> cams;
        QVERIFY(cam->getCameraInfos(cams) > 0);
        QCOMPARE(cam->startCameraByPath(cams[0].path), 0);
        QTRY_VERIFY_WITH_TIMEOUT(cam->frameCount() >= 2, 20000);
        QWidget *window = cam->getVideoWidget();
        QVERIFY(window && window->isVisible());
        // One logical pixel of rounding, in physical pixels.
        const double slack = window->devicePixelRatioF();
        QTRY_VERIFY2(near(physicalSize(window).width(), 400 * scalefactor, slack) &&
                         near(physicalSize(window).height(), 225 * scalefactor, slack),
                     qPrintable(QStringLiteral("window %1x%2 physical, logical %3x%4")
                                    .arg(physicalSize(window).width())
                                    .arg(physicalSize(window).height())
                                    .arg(window->width())
                                    .arg(window->height())));
        cam->stopCamera();
    }

    void chatText_data() { cameraWindow_data(); }

    // A message's text is 16 design pixels high, its header 13.
    void chatText()
    {
        QFETCH(double, scalefactor);
        IRoomInfo *room = createRoomInfo();
        QObject *ro = room->roomObject();
        ro->setProperty("UserId", "1001");
        ro->setProperty("scale", scalefactor);
        QCOMPARE(ro->property("scale").toDouble(), scalefactor);
        QWidget *panel = room->createRoomWidget(nullptr);
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        ro->setProperty("CurMessage", QJsonObject{{"userId", "2002"},
                                                  {"userName", "Other"},
                                                  {"dateTime", "12:00"},
                                                  {"data", "hello there"}});
        QTextEdit *view = nullptr;
        for (QTextEdit *e : panel->findChildren<QTextEdit *>())
            if (e->toPlainText().contains("hello there"))
                view = e;
        QVERIFY(view);
        int header = 0;
        int text = 0;
        for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const int px = it.fragment().charFormat().font().pixelSize();
                (it.fragment().text().contains("hello there") ? text : header) = px;
            }
        const double ratio = view->devicePixelRatioF();
        QVERIFY2(near(int(std::lround(text * ratio)), 16 * scalefactor, ratio),
                 qPrintable(QStringLiteral("text %1 px logical").arg(text)));
        QVERIFY2(near(int(std::lround(header * ratio)), 13 * scalefactor, ratio),
                 qPrintable(QStringLiteral("header %1 px logical").arg(header)));
        // The empty-message tip keeps its 13 pixels at every scale.
        const QWidget *tip = panel->findChild<QWidget *>(QStringLiteral("enptyToolTip"));
        QVERIFY(tip);
        QVERIFY2(near(int(std::lround(tip->font().pixelSize() * ratio)), 13, ratio),
                 qPrintable(QStringLiteral("tip %1 px logical").arg(tip->font().pixelSize())));
        delete panel;
        delete ro;
    }
};

int main(int argc, char *argv[])
{
    Display *resources = xftDpi() > 0 ? setXftDpi(xftDpi()) : nullptr;
    if (xftDpi() > 0 && !resources) {
        std::fprintf(stderr, "tst_highdpi: no X display to set Xft.dpi on\n");
        return 1;
    }
    QApplication app(argc, argv);
    if (resources)
        XCloseDisplay(resources);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highdpi.moc"
