#include "v4l2system.h"

#include <QDebug>

#include <libv4l2.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <sys/mman.h>

namespace kvplat {

namespace {

void *libv4l2Mmap(void *addr, size_t length, int prot, int flags, int fd, int64_t offset)
{
    return v4l2_mmap(addr, length, prot, flags, fd, offset);
}

int libv4l2Open(const char *path, int flags)
{
    return v4l2_open(path, flags);
}

int libv4l2Ioctl(int fd, unsigned long request, void *arg)
{
    return v4l2_ioctl(fd, request, arg);
}

const KvV4l2Backend kLibv4l2 = {libv4l2Open, v4l2_close,  libv4l2Ioctl,
                                libv4l2Mmap, v4l2_munmap, ::poll};

// Backend tables by library path; a library stays loaded for the life of the process, since
// devices and streams made through it may outlive any enumeration.
const KvV4l2Backend *loadBackend(const std::string &library)
{
    static std::mutex mutex;
    static std::map<std::string, const KvV4l2Backend *> *loaded =
        new std::map<std::string, const KvV4l2Backend *>;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = loaded->find(library);
    if (it != loaded->end())
        return it->second;
    const KvV4l2Backend *table = nullptr;
    QString why;
    void *handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *error = dlerror();
        why = error ? error : "dlopen failed";
    } else {
        using Entry = const KvV4l2Backend *(*)();
        auto entry = reinterpret_cast<Entry>(dlsym(handle, "kvV4l2Backend"));
        table = entry ? entry() : nullptr;
        if (!entry)
            why = "it has no kvV4l2Backend()";
        else if (!table || !table->open || !table->close || !table->ioctl || !table->mmap ||
                 !table->munmap || !table->poll) {
            why = "its kvV4l2Backend() table is incomplete";
            table = nullptr;
        }
    }
    if (!table)
        qDebug() << "V4L2 backend" << QString::fromStdString(library)
                 << "not loaded, no V4L2 camera is listed:" << why;
    (*loaded)[library] = table;
    return table;
}

} // namespace

V4l2System::V4l2System(const KvV4l2Backend *calls, std::string root)
    : m_calls(calls), m_root(std::move(root))
{
    while (!m_root.empty() && m_root.back() == '/')
        m_root.pop_back();
}

std::shared_ptr<const V4l2System> V4l2System::current()
{
    const char *library = std::getenv("KV_V4L2_BACKEND");
    const char *root = std::getenv("KV_V4L2_ROOT");
    const KvV4l2Backend *calls = &kLibv4l2;
    if (library && *library) {
        calls = loadBackend(library);
        if (!calls)
            return nullptr;
    }
    return std::make_shared<V4l2System>(calls, root && *root ? root : "/");
}

int V4l2System::ioctl(int fd, unsigned long request, void *arg) const
{
    int r;
    do {
        r = m_calls->ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
}

std::string errnoText(int error)
{
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which may or may not be in the buffer.
    const char *text = strerror_r(error, buffer, sizeof buffer);
    return text ? text : "unknown error";
}

} // namespace kvplat
