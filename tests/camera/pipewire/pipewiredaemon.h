#ifndef PIPEWIREDAEMON_H
#define PIPEWIREDAEMON_H

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A private PipeWire daemon and session manager (and the session bus the manager wants) on a
// temporary runtime folder, never the machine's own; the session manager watches no devices.
// While it lives, this process's environment points there and the PipeWire provider is on.
class PipeWireDaemon
{
public:
    PipeWireDaemon();
    ~PipeWireDaemon();

    // Starts the bus, the daemon and the session manager; false (with a warning) when one of
    // them does not come up.
    bool start();
    // Ends the daemon and the session manager as a desktop's session ending does, and starts
    // them again on the same runtime folder (the bus stays).
    void endDaemon();
    bool startDaemon();
    QString runtimeDir() const { return m_dir.path() + "/run"; }
    QProcessEnvironment environment() const { return m_env; }

    // Starts the test camera program with `arguments`; it is ready once its node is listed.
    QProcess *startCamera(const QStringList &arguments);
    // Ends it as a program that quits ends (its node leaves the daemon).
    static void endCamera(QProcess *camera);
    // Starts another program with the private environment (the scripted portal).
    QProcess *startProgram(const QString &program, const QStringList &arguments);

private:
    QProcess *launch(const QString &program, const QStringList &arguments);
    bool waitForFile(const QString &path);

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_processes; // started last, ended first
    QByteArray m_saved[5];
    QProcess *m_pipewire = nullptr;
    QProcess *m_wireplumber = nullptr;
};

#endif
