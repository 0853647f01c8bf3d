// One connection to a PipeWire daemon on the process's PipeWire thread loop: the registry's
// camera nodes with the formats each enumerates, kept current by the registry's events, and the
// core the streams of the provider are made on.
#ifndef KV_PLATFORM_PIPEWIRECONNECTION_H
#define KV_PLATFORM_PIPEWIRECONNECTION_H

#include "pipewireformats.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct pw_thread_loop;
struct pw_core;
struct pw_registry;
struct pw_loop;

namespace kvplat {

struct PipeWireNode
{
    uint32_t id = 0;
    std::string name;        // node.name
    std::string serial;      // object.serial, how a stream names its target
    std::string description; // node.description, else node.nick, else node.name
    std::string v4l2Device;  // api.v4l2.path of a V4L2 node ("/dev/videoN"), else empty
    std::vector<PipeWireMode> modes;
};

class PipeWireConnection
{
public:
    // Connects to the daemon the usual way (fd < 0), or through a descriptor the camera portal
    // handed over (taken over, also on failure). Null, with the reason in `why`, when no daemon
    // answers.
    static std::shared_ptr<PipeWireConnection> open(int fd, std::string *why);
    ~PipeWireConnection();
    // Once a daemon accepts a connection the usual way, calls `answered` on the loop thread,
    // once; asked every few seconds until then. A later call replaces the one waiting.
    static void whenDaemonAnswers(std::function<void()> answered);
    PipeWireConnection(const PipeWireConnection &) = delete;
    PipeWireConnection &operator=(const PipeWireConnection &) = delete;

    // Waits, at most `milliseconds`, until the daemon has answered everything asked so far
    // (twice: the nodes the registry announces, then their formats). False when the
    // connection broke or the daemon did not answer in time.
    bool settle(int milliseconds);
    bool broken() const;
    // The camera nodes now known whose formats have arrived.
    std::vector<PipeWireNode> nodes() const;

    // The thread loop's lock guards every call on the core and on streams made on it.
    void lock() const;
    void unlock() const;
    pw_core *core() const { return m_core; }
    pw_registry *registry() const { return m_registry; }
    pw_thread_loop *threadLoop() const { return m_loop; }
    pw_loop *loop() const;

    // Under the lock: `gone` runs on the loop thread once when node `id` leaves the registry or
    // the connection breaks. The token ends the watch (under the lock).
    int watchNode(uint32_t id, std::function<void()> gone);
    void unwatch(int token);
    // Called on the loop thread whenever a camera node comes or goes.
    void setChangeListener(std::function<void()> changed);

    struct Private;

private:
    PipeWireConnection();

    std::unique_ptr<Private> d;
    pw_thread_loop *m_loop = nullptr;
    pw_core *m_core = nullptr;
    pw_registry *m_registry = nullptr;
};

} // namespace kvplat

#endif // KV_PLATFORM_PIPEWIRECONNECTION_H
