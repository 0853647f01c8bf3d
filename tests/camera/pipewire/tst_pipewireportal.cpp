// The PipeWire provider in a sandbox (KV_CAMERA_PORTAL=1): only through the camera portal, here
// a scripted one on the private session bus. Built twice: the person allows camera access
// (KV_PORTAL_GRANTS=1) or refuses it.
#include "boothtestsupport.h"
#include "pipewiredaemon.h"

#include <deviceprovider.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QtTest>

#include <atomic>

namespace {

QStringList listedPaths()
{
    QStringList paths;
    for (auto &d : kvplat::enumerateVideoDevices())
        paths << QString::fromStdWString(d->ident().path);
    return paths;
}

} // namespace

class TestPipeWirePortal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_daemon.reset(); }
#if KV_PORTAL_GRANTS
    void withoutPortalNothingIsListed();
    void grantedCamerasComeThroughThePortal();
#else
    void refusalIsAnsweredAndSaid();
#endif

private:
    bool startPortal(const char *answer);
    int portalCalls(const QString &method) const;

    std::unique_ptr<PipeWireDaemon> m_daemon;
    QString m_log;
};

void TestPipeWirePortal::initTestCase()
{
    qputenv("KV_CAMERA_PORTAL", "1");
    m_daemon.reset(new PipeWireDaemon);
    QVERIFY(m_daemon->start());
    m_log = m_daemon->runtimeDir() + "/portal.log";
    // A camera the daemon offers: without the portal's word the program must not see it.
    QVERIFY(m_daemon->startCamera({"--name", "kv-sandboxed", "--description", "Laptop Camera"}));
}

bool TestPipeWirePortal::startPortal(const char *answer)
{
    if (!m_daemon->startProgram(KV_FAKE_CAMERA_PORTAL, {answer, m_log}))
        return false;
    return QTest::qWaitFor(
        [] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                "org.freedesktop.portal.Desktop");
        },
        10000);
}

int TestPipeWirePortal::portalCalls(const QString &method) const
{
    QFile f(m_log);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return QString::fromUtf8(f.readAll()).split('\n').filter(method).size();
}

#if KV_PORTAL_GRANTS
void TestPipeWirePortal::withoutPortalNothingIsListed()
{
    LogCapture log;
    QVERIFY(listedPaths().isEmpty());
    QVERIFY(listedPaths().isEmpty());
    QCOMPARE(log.count("PipeWire: no cameras: no camera portal"), 1);
}

void TestPipeWirePortal::grantedCamerasComeThroughThePortal()
{
    QVERIFY(startPortal("allow"));
    QTRY_VERIFY_WITH_TIMEOUT(listedPaths().contains("pipewire:kv-sandboxed"), 15000);
    listedPaths();
    // Asked once, not per listing.
    QCOMPARE(portalCalls("AccessCamera"), 1);
    QCOMPARE(portalCalls("OpenPipeWireRemote"), 1);

    std::shared_ptr<kvplat::IDevice> camera = kvplat::enumerateVideoDevices().front();
    QCOMPARE(QString::fromStdWString(camera->ident().name), QString("Laptop Camera"));
    std::atomic<int> samples{0};
    kvplat::StreamSinks sinks;
    sinks.sample = [&](const uint8_t *, size_t, REFERENCE_TIME, REFERENCE_TIME) { ++samples; };
    auto stream = camera->openStream(camera->formats().front(), sinks);
    QVERIFY(stream);
    QTRY_VERIFY_WITH_TIMEOUT(samples >= 3, 15000);
    stream->stop();
    QCOMPARE(portalCalls("AccessCamera"), 1);
}
#else
void TestPipeWirePortal::refusalIsAnsweredAndSaid()
{
    QVERIFY(startPortal("deny"));
    LogCapture log;
    QVERIFY(listedPaths().isEmpty());
    QVERIFY(listedPaths().isEmpty());
    QCOMPARE(log.count("the user denied camera access"), 1);
    QCOMPARE(portalCalls("AccessCamera"), 1);
    QCOMPARE(portalCalls("OpenPipeWireRemote"), 0);
}
#endif

QTEST_GUILESS_MAIN(TestPipeWirePortal)
#include "tst_pipewireportal.moc"
