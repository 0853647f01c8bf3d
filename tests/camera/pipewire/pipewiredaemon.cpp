#include "pipewiredaemon.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace {

const char *kSavedNames[5] = {"XDG_RUNTIME_DIR", "PIPEWIRE_RUNTIME_DIR", "PIPEWIRE_REMOTE",
                              "DBUS_SESSION_BUS_ADDRESS", "KV_PIPEWIRE"};

void writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text);
}

} // namespace

PipeWireDaemon::PipeWireDaemon()
{
    for (int i = 0; i < 5; ++i)
        m_saved[i] = qgetenv(kSavedNames[i]);
}

PipeWireDaemon::~PipeWireDaemon()
{
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it)
        endCamera(it->get());
    m_processes.clear();
    for (int i = 0; i < 5; ++i) {
        if (m_saved[i].isNull())
            qunsetenv(kSavedNames[i]);
        else
            qputenv(kSavedNames[i], m_saved[i]);
    }
}

bool PipeWireDaemon::waitForFile(const QString &path)
{
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(path)) {
        if (t.elapsed() > 20000)
            return false;
        QThread::msleep(20);
    }
    return true;
}

QProcess *PipeWireDaemon::launch(const QString &program, const QStringList &arguments)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(m_env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->setStandardOutputFile(QProcess::nullDevice());
    p->start(program, arguments);
    if (!p->waitForStarted(10000)) {
        qWarning() << "cannot start" << program << p->errorString();
        return nullptr;
    }
    m_processes.push_back(std::move(p));
    return m_processes.back().get();
}

bool PipeWireDaemon::start()
{
    if (!m_dir.isValid())
        return false;
    const QString run = runtimeDir();
    QDir().mkpath(run);
    QFile::setPermissions(run,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The session manager's own settings: no devices of the machine (sound cards, cameras,
    // Bluetooth), only the nodes the tests make.
    const QString config = m_dir.path() + "/config";
    writeFile(config + "/wireplumber/main.lua.d/51-kv-tests.lua",
              "alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\n"
              "libcamera_monitor.enabled = false\n");
    writeFile(config + "/wireplumber/bluetooth.lua.d/51-kv-tests.lua",
              "bluez_monitor.enabled = false\n");

    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert("XDG_RUNTIME_DIR", run);
    m_env.insert("PIPEWIRE_RUNTIME_DIR", run);
    m_env.remove("PIPEWIRE_REMOTE");
    m_env.insert("HOME", m_dir.path());
    m_env.insert("XDG_CONFIG_HOME", config);
    m_env.insert("XDG_STATE_HOME", m_dir.path() + "/state");
    m_env.insert("XDG_DATA_HOME", m_dir.path() + "/data");
    m_env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + run + "/bus");
    m_env.insert("PIPEWIRE_DEBUG", "1");
    m_env.insert("WIREPLUMBER_DEBUG", "0");
    // The sanitizers' options of the tests are not the daemons' business.
    m_env.remove("LD_PRELOAD");

    if (!launch("dbus-daemon",
                {"--session", "--nofork", "--nopidfile", "--address=unix:path=" + run + "/bus"}) ||
        !waitForFile(run + "/bus"))
        return false;
    if (!startDaemon())
        return false;

    qputenv("XDG_RUNTIME_DIR", run.toUtf8());
    qputenv("PIPEWIRE_RUNTIME_DIR", run.toUtf8());
    qunsetenv("PIPEWIRE_REMOTE");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_env.value("DBUS_SESSION_BUS_ADDRESS").toUtf8());
    qputenv("KV_PIPEWIRE", "1");
    return true;
}

bool PipeWireDaemon::startDaemon()
{
    QFile::remove(runtimeDir() + "/pipewire-0");
    m_pipewire = launch("pipewire", {});
    if (!m_pipewire || !waitForFile(runtimeDir() + "/pipewire-0"))
        return false;
    m_wireplumber = launch("wireplumber", {});
    return m_wireplumber != nullptr;
}

void PipeWireDaemon::endDaemon()
{
    endCamera(m_wireplumber);
    endCamera(m_pipewire);
}

QProcess *PipeWireDaemon::startCamera(const QStringList &arguments)
{
    return launch(KV_PW_TEST_CAMERA, arguments);
}

QProcess *PipeWireDaemon::startProgram(const QString &program, const QStringList &arguments)
{
    return launch(program, arguments);
}

void PipeWireDaemon::endCamera(QProcess *camera)
{
    if (!camera || camera->state() == QProcess::NotRunning)
        return;
    camera->terminate();
    if (!camera->waitForFinished(5000)) {
        camera->kill();
        camera->waitForFinished(5000);
    }
}
