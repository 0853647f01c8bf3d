#include "fakemachine.h"

#include <QDir>
#include <QFile>

#include "v4l2backend.h"

#include <linux/videodev2.h>

#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>

namespace {

using FramesFunction = int (*)(const char *, int *, int *);

FramesFunction framesFunction()
{
    void *handle = dlopen(KV_FAKE_V4L2_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        handle = dlopen(KV_FAKE_V4L2_LIBRARY, RTLD_NOW);
    return handle ? reinterpret_cast<FramesFunction>(dlsym(handle, "kvFakeV4l2Frames")) : nullptr;
}

const KvV4l2Backend *backend()
{
    void *handle = dlopen(KV_FAKE_V4L2_LIBRARY, RTLD_NOW);
    using Entry = const KvV4l2Backend *(*)();
    auto entry = handle ? reinterpret_cast<Entry>(dlsym(handle, "kvV4l2Backend")) : nullptr;
    return entry ? entry() : nullptr;
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

void FakeMachine::setName(int n, const QByteArray &name)
{
    writeFile(root() + QString("/sys/class/video4linux/video%1/name").arg(n), name + "\n");
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

int FakeMachine::control(int n, unsigned id) const
{
    const KvV4l2Backend *calls = backend();
    if (!calls)
        return INT_MIN;
    const int fd = calls->open(nodePath(n).toUtf8().constData(), O_RDWR);
    if (fd < 0)
        return INT_MIN;
    v4l2_control c;
    std::memset(&c, 0, sizeof c);
    c.id = id;
    const int r = calls->ioctl(fd, VIDIOC_G_CTRL, &c);
    calls->close(fd);
    return r == 0 ? c.value : INT_MIN;
}
