#include "fakemachine.h"

#include <QDir>
#include <QFile>

#include <dlfcn.h>

namespace {

using FramesFunction = int (*)(const char *, int *, int *);

FramesFunction framesFunction()
{
    void *handle = dlopen(KV_FAKE_V4L2_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        handle = dlopen(KV_FAKE_V4L2_LIBRARY, RTLD_NOW);
    return handle ? reinterpret_cast<FramesFunction>(dlsym(handle, "kvFakeV4l2Frames")) : nullptr;
}

void writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text);
}

} // namespace

FakeMachine::FakeMachine()
{
    m_oldRoot = qgetenv("KV_V4L2_ROOT");
    m_oldBackend = qgetenv("KV_V4L2_BACKEND");
    QDir(root()).mkpath("dev/v4l/by-path");
    QDir(root()).mkpath("sys/class/video4linux");
    qputenv("KV_V4L2_ROOT", root().toUtf8());
    qputenv("KV_V4L2_BACKEND", KV_FAKE_V4L2_LIBRARY);
}

FakeMachine::~FakeMachine()
{
    qputenv("KV_V4L2_ROOT", m_oldRoot);
    qputenv("KV_V4L2_BACKEND", m_oldBackend);
}

QString FakeMachine::nodePath(int n) const
{
    return root() + QString("/dev/video%1").arg(n);
}

void FakeMachine::plug(int n, const QString &model, const QString &name, int index,
                       const QString &link)
{
    const QString sys = root() + QString("/sys/class/video4linux/video%1").arg(n);
    QDir().mkpath(sys);
    writeFile(sys + "/name", name.toUtf8() + "\n");
    writeFile(sys + "/index", QByteArray::number(index) + "\n");
    if (!link.isEmpty())
        QFile::link(QString("../../video%1").arg(n), root() + "/dev/v4l/by-path/" + link);
    writeFile(nodePath(n), model.toUtf8() + "\n");
}

void FakeMachine::unplug(int n)
{
    QFile::remove(nodePath(n));
    QDir(root() + QString("/sys/class/video4linux/video%1").arg(n)).removeRecursively();
    const QString video = QString("video%1").arg(n);
    QDir links(root() + "/dev/v4l/by-path");
    for (const QFileInfo &info : links.entryInfoList(QDir::System | QDir::Files)) {
        if (QFileInfo(info.symLinkTarget()).fileName() == video)
            QFile::remove(info.absoluteFilePath());
    }
}

int FakeMachine::produced(int n) const
{
    int p = -1;
    FramesFunction f = framesFunction();
    if (f)
        f(nodePath(n).toUtf8().constData(), &p, nullptr);
    return p;
}

int FakeMachine::whole(int n) const
{
    int w = -1;
    FramesFunction f = framesFunction();
    if (f)
        f(nodePath(n).toUtf8().constData(), nullptr, &w);
    return w;
}
