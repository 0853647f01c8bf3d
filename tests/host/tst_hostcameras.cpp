// The demo host's camera list: the built-in virtual camera only while no other camera is found,
// and the list's refresh when video nodes come and go.
#include "camerawatcher.h"
#include "democamera.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

CamDevInfo camera(const QString &name, const QString &path)
{
    CamDevInfo c;
    c.name = name;
    c.path = path;
    return c;
}

} // namespace

class TstHostCameras : public QObject
{
    Q_OBJECT

private slots:
    void builtInCameraOnlyWithoutOthers();
    void ownVirtualCamerasAreKept();
    void watcherSeesVideoNodes();
};

void TstHostCameras::builtInCameraOnlyWithoutOthers()
{
    qunsetenv("KV_VIRTUAL_CAMERAS");
    bool plugged = false;
    // Stands in for the camera library: the real camera when plugged, else what
    // KV_VIRTUAL_CAMERAS defines.
    auto lister = [&plugged] {
        QVector<CamDevInfo> list;
        if (plugged)
            list << camera("HD Webcam C000", "v4l2:pci-0000:00:14.0-usb-0:1:1.0-video-index0");
        if (!qEnvironmentVariableIsEmpty("KV_VIRTUAL_CAMERAS"))
            list << camera("Demo Virtual Camera", "virtual:demo");
        return list;
    };
    DemoCamera demo(true);
    QVector<CamDevInfo> list = demo.list(lister);
    QVERIFY(demo.active());
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].path, QString("virtual:demo"));

    plugged = true;
    list = demo.list(lister);
    QVERIFY(!demo.active());
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].name, QString("HD Webcam C000"));
    QVERIFY(qEnvironmentVariableIsEmpty("KV_VIRTUAL_CAMERAS"));

    plugged = false;
    list = demo.list(lister);
    QVERIFY(demo.active());
    QCOMPARE(list[0].path, QString("virtual:demo"));
    qunsetenv("KV_VIRTUAL_CAMERAS");
}

void TstHostCameras::ownVirtualCamerasAreKept()
{
    // A person's own KV_VIRTUAL_CAMERAS (or --no-virtual) leaves the variable alone.
    qputenv("KV_VIRTUAL_CAMERAS", "[mine]");
    DemoCamera demo(false);
    int calls = 0;
    const QVector<CamDevInfo> list = demo.list([&calls] {
        ++calls;
        return QVector<CamDevInfo>();
    });
    QVERIFY(list.isEmpty());
    QCOMPARE(calls, 1);
    QVERIFY(!demo.active());
    QCOMPARE(qgetenv("KV_VIRTUAL_CAMERAS"), QByteArray("[mine]"));
    qunsetenv("KV_VIRTUAL_CAMERAS");
}

void TstHostCameras::watcherSeesVideoNodes()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("dev"));
    qputenv("KV_V4L2_ROOT", root.path().toUtf8());
    CameraWatcher watcher(nullptr, 50);
    QCOMPARE(watcher.folder(), root.path() + "/dev");
    QSignalSpy changed(&watcher, &CameraWatcher::camerasChanged);

    // Other nodes of /dev do not count.
    QFile other(root.path() + "/dev/ttyS0");
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    QFile node(root.path() + "/dev/video0");
    QVERIFY(node.open(QIODevice::WriteOnly));
    node.close();
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(CameraWatcher::videoNodes(watcher.folder()), QStringList({"video0"}));

    QVERIFY(QFile::remove(root.path() + "/dev/ttyS0"));
    QVERIFY(QFile::remove(root.path() + "/dev/video0"));
    QTRY_COMPARE(changed.count(), 2);
    qunsetenv("KV_V4L2_ROOT");
}

QTEST_GUILESS_MAIN(TstHostCameras)
#include "tst_hostcameras.moc"
