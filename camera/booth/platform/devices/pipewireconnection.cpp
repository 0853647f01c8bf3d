#include "pipewireconnection.h"

#include <pipewire/pipewire.h>
#include <spa/utils/result.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unistd.h>

namespace kvplat {

namespace {

const char *prop(const spa_dict *props, const char *key)
{
    const char *value = props ? spa_dict_lookup(props, key) : nullptr;
    return value && *value ? value : nullptr;
}

struct NodeEntry
{
    PipeWireConnection::Private *owner = nullptr;
    PipeWireNode node;
    std::vector<PipeWireMode> pending; // formats of the enumeration under way
    pw_proxy *proxy = nullptr;
    spa_hook proxyHook = {};
    spa_hook nodeHook = {};
    int paramSeq = -1;  // the enumeration under way, as its events carry it
    int syncSeq = -1;   // the daemon's answer to this has come after every format
    bool ready = false; // the formats have arrived
};

} // namespace

struct PipeWireConnection::Private
{
    PipeWireConnection *self = nullptr;
    spa_hook coreHook = {};
    spa_hook registryHook = {};
    std::map<uint32_t, std::unique_ptr<NodeEntry>> nodes;
    std::map<int, std::pair<uint32_t, std::function<void()>>> watchers;
    int nextToken = 1;
    int settleSeq = -1; // the round trip a listing waits for
    bool settleDone = false;
    bool broken = false;
    std::function<void()> changed;

    void notifyChanged()
    {
        if (changed)
            changed();
    }

    // Runs and forgets the watchers of `id`, or all of them (id == PW_ID_ANY).
    void fireWatchers(uint32_t id)
    {
        std::vector<std::function<void()>> due;
        for (auto it = watchers.begin(); it != watchers.end();) {
            if (id == PW_ID_ANY || it->second.first == id) {
                due.push_back(std::move(it->second.second));
                it = watchers.erase(it);
            } else {
                ++it;
            }
        }
        for (auto &f : due)
            f();
    }

    void dropNode(uint32_t id)
    {
        auto it = nodes.find(id);
        if (it == nodes.end())
            return;
        const bool wasReady = it->second->ready;
        spa_hook_remove(&it->second->nodeHook);
        spa_hook_remove(&it->second->proxyHook);
        pw_proxy_destroy(it->second->proxy);
        nodes.erase(it);
        fireWatchers(id);
        if (wasReady)
            notifyChanged();
    }
};

namespace {

// The node's full properties (the registry shows only a few): its name for people and the V4L2
// node it reads.
void readNodeProps(PipeWireNode *node, const spa_dict *props)
{
    const char *description = prop(props, PW_KEY_NODE_DESCRIPTION);
    if (!description)
        description = prop(props, PW_KEY_NODE_NICK);
    if (description)
        node->description = description;
    if (const char *v4l2 = prop(props, "api.v4l2.path")) {
        node->v4l2Device = v4l2;
    } else if (const char *path = prop(props, PW_KEY_OBJECT_PATH)) {
        if (std::strncmp(path, "v4l2:/dev/", 10) == 0)
            node->v4l2Device = path + 5;
    }
}

void onNodeInfo(void *data, const pw_node_info *info)
{
    auto *entry = static_cast<NodeEntry *>(data);
    if (info && (info->change_mask & PW_NODE_CHANGE_MASK_PROPS))
        readNodeProps(&entry->node, info->props);
}

void onNodeParam(void *data, int seq, uint32_t id, uint32_t, uint32_t, const spa_pod *param)
{
    auto *entry = static_cast<NodeEntry *>(data);
    if (id == SPA_PARAM_EnumFormat && seq == entry->paramSeq)
        addPipeWireModes(param, &entry->pending);
}

const pw_node_events kNodeEvents = [] {
    pw_node_events e = {};
    e.version = PW_VERSION_NODE_EVENTS;
    e.info = onNodeInfo;
    e.param = onNodeParam;
    return e;
}();

void onProxyRemoved(void *data)
{
    auto *entry = static_cast<NodeEntry *>(data);
    entry->owner->dropNode(entry->node.id);
}

const pw_proxy_events kProxyEvents = [] {
    pw_proxy_events e = {};
    e.version = PW_VERSION_PROXY_EVENTS;
    e.removed = onProxyRemoved;
    return e;
}();

void onGlobal(void *data, uint32_t id, uint32_t, const char *type, uint32_t, const spa_dict *props)
{
    auto *d = static_cast<PipeWireConnection::Private *>(data);
    if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0)
        return;
    const char *mediaClass = prop(props, PW_KEY_MEDIA_CLASS);
    const char *name = prop(props, PW_KEY_NODE_NAME);
    if (!mediaClass || std::strcmp(mediaClass, "Video/Source") != 0 || !name)
        return;
    const char *role = prop(props, PW_KEY_MEDIA_ROLE);
    if (role && std::strcmp(role, "Camera") != 0)
        return; // a screen cast or another program's output, not a camera
    auto entry = std::make_unique<NodeEntry>();
    entry->owner = d;
    entry->node.id = id;
    entry->node.name = name;
    const char *serial = prop(props, PW_KEY_OBJECT_SERIAL);
    entry->node.serial = serial ? serial : name;
    entry->node.description = name;
    readNodeProps(&entry->node, props);
    entry->proxy = static_cast<pw_proxy *>(
        pw_registry_bind(d->self->registry(), id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
    if (!entry->proxy)
        return;
    pw_proxy_add_listener(entry->proxy, &entry->proxyHook, &kProxyEvents, entry.get());
    pw_proxy_add_object_listener(entry->proxy, &entry->nodeHook, &kNodeEvents, entry.get());
    // The events of the enumeration carry the sequence number the call returns.
    entry->paramSeq = pw_node_enum_params(reinterpret_cast<pw_node *>(entry->proxy), 0,
                                          SPA_PARAM_EnumFormat, 0, UINT32_MAX, nullptr);
    entry->syncSeq = pw_core_sync(d->self->core(), PW_ID_CORE, 0);
    d->nodes[id] = std::move(entry);
}

void onGlobalRemove(void *data, uint32_t id)
{
    static_cast<PipeWireConnection::Private *>(data)->dropNode(id);
}

const pw_registry_events kRegistryEvents = [] {
    pw_registry_events e = {};
    e.version = PW_VERSION_REGISTRY_EVENTS;
    e.global = onGlobal;
    e.global_remove = onGlobalRemove;
    return e;
}();

void onCoreDone(void *data, uint32_t id, int seq)
{
    auto *d = static_cast<PipeWireConnection::Private *>(data);
    if (id != PW_ID_CORE)
        return;
    if (seq == d->settleSeq)
        d->settleDone = true;
    // A node whose enumeration was asked before this sync has answered in full.
    bool changed = false;
    for (auto &n : d->nodes) {
        NodeEntry &e = *n.second;
        if (e.paramSeq >= 0 && e.syncSeq == seq) {
            e.node.modes = std::move(e.pending);
            e.pending.clear();
            e.paramSeq = -1;
            changed = changed || !e.ready;
            e.ready = true;
        }
    }
    if (changed)
        d->notifyChanged();
    pw_thread_loop_signal(d->self->threadLoop(), false);
}

void onCoreError(void *data, uint32_t id, int, int res, const char *)
{
    auto *d = static_cast<PipeWireConnection::Private *>(data);
    if (id != PW_ID_CORE || res != -EPIPE)
        return;
    // The daemon went away: every node with it.
    d->broken = true;
    std::vector<uint32_t> ids;
    for (auto &n : d->nodes)
        ids.push_back(n.first);
    for (uint32_t node : ids)
        d->dropNode(node);
    d->fireWatchers(PW_ID_ANY);
    // Also where no camera was known: a listing now learns that the daemon is gone and waits
    // for it to come back.
    d->notifyChanged();
    pw_thread_loop_signal(d->self->threadLoop(), false);
}

const pw_core_events kCoreEvents = [] {
    pw_core_events e = {};
    e.version = PW_VERSION_CORE_EVENTS;
    e.done = onCoreDone;
    e.error = onCoreError;
    return e;
}();

} // namespace

PipeWireConnection::PipeWireConnection() : d(new Private)
{
    d->self = this;
}

namespace {

// How often a daemon that went away is asked whether it is back (a refused connection costs
// microseconds).
const int kProbeSeconds = 2;

struct SharedLoop
{
    pw_thread_loop *loop = nullptr;
    pw_context *context = nullptr;
    spa_source *probe = nullptr;    // asks whether a daemon answers, while one is awaited
    std::function<void()> answered; // whom to tell when one does
};

// On the loop thread: a daemon that accepts a connection is told of once, and no longer asked.
void onProbe(void *data, uint64_t)
{
    auto *shared = static_cast<SharedLoop *>(data);
    pw_core *core = pw_context_connect(shared->context, nullptr, 0);
    if (!core)
        return;
    pw_core_disconnect(core);
    timespec off = {0, 0};
    pw_loop_update_timer(pw_thread_loop_get_loop(shared->loop), shared->probe, &off, &off, false);
    std::function<void()> answered = std::move(shared->answered);
    shared->answered = nullptr;
    if (answered)
        answered();
}

// One thread loop and context for the process, made at the first connection and never
// destroyed: libpipewire can hang for good joining a loop's thread that is stopped right after
// it started (a listing that finds no daemon did just that), and a context per listing also
// cost milliseconds. Connections come and go on it.
SharedLoop *sharedLoop(std::string *why)
{
    static std::mutex mutex;
    static SharedLoop *shared = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (shared)
        return shared;
    pw_init(nullptr, nullptr);
    pw_thread_loop *loop = pw_thread_loop_new("kv-pipewire", nullptr);
    if (!loop) {
        *why = "cannot make a thread loop";
        return nullptr;
    }
    pw_context *context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
    if (!context) {
        *why = std::string("cannot make a context: ") + spa_strerror(-errno);
        pw_thread_loop_destroy(loop); // never started: nothing to join
        return nullptr;
    }
    if (pw_thread_loop_start(loop) < 0) {
        *why = "cannot start the thread loop";
        pw_context_destroy(context);
        pw_thread_loop_destroy(loop);
        return nullptr;
    }
    shared = new SharedLoop;
    shared->loop = loop;
    shared->context = context;
    return shared;
}

} // namespace

std::shared_ptr<PipeWireConnection> PipeWireConnection::open(int fd, std::string *why)
{
    SharedLoop *shared = sharedLoop(why);
    if (!shared) {
        if (fd >= 0)
            close(fd);
        return nullptr;
    }
    std::shared_ptr<PipeWireConnection> c(new PipeWireConnection);
    c->m_loop = shared->loop;
    c->lock();
    c->m_core = fd >= 0 ? pw_context_connect_fd(shared->context, fd, nullptr, 0)
                        : pw_context_connect(shared->context, nullptr, 0);
    if (!c->m_core) {
        *why = std::string("no PipeWire daemon answers: ") + spa_strerror(-errno);
        c->unlock();
        return nullptr;
    }
    pw_core_add_listener(c->m_core, &c->d->coreHook, &kCoreEvents, c->d.get());
    c->m_registry = pw_core_get_registry(c->m_core, PW_VERSION_REGISTRY, 0);
    if (!c->m_registry) {
        *why = "no registry";
        c->unlock();
        return nullptr;
    }
    pw_registry_add_listener(c->m_registry, &c->d->registryHook, &kRegistryEvents, c->d.get());
    c->unlock();
    return c;
}

PipeWireConnection::~PipeWireConnection()
{
    if (!m_loop)
        return;
    // The loop goes on for other connections: everything of this one goes under its lock.
    lock();
    d->watchers.clear();
    d->changed = nullptr;
    for (auto &n : d->nodes) {
        spa_hook_remove(&n.second->nodeHook);
        spa_hook_remove(&n.second->proxyHook);
        pw_proxy_destroy(n.second->proxy);
    }
    d->nodes.clear();
    if (m_registry) {
        spa_hook_remove(&d->registryHook);
        pw_proxy_destroy(reinterpret_cast<pw_proxy *>(m_registry));
    }
    if (m_core) {
        spa_hook_remove(&d->coreHook);
        pw_core_disconnect(m_core);
    }
    unlock();
}

void PipeWireConnection::whenDaemonAnswers(std::function<void()> answered)
{
    std::string why;
    SharedLoop *shared = sharedLoop(&why);
    if (!shared)
        return;
    pw_thread_loop_lock(shared->loop);
    pw_loop *loop = pw_thread_loop_get_loop(shared->loop);
    shared->answered = std::move(answered);
    if (!shared->probe)
        shared->probe = pw_loop_add_timer(loop, onProbe, shared);
    // A zero time stops the asking.
    timespec interval = {shared->answered ? kProbeSeconds : 0, 0};
    if (shared->probe)
        pw_loop_update_timer(loop, shared->probe, &interval, &interval, false);
    pw_thread_loop_unlock(shared->loop);
}

bool PipeWireConnection::settle(int milliseconds)
{
    lock();
    timespec deadline;
    pw_thread_loop_get_time(m_loop, &deadline, int64_t(milliseconds) * SPA_NSEC_PER_MSEC);
    bool ok = true;
    // Two round trips: the first brings the registry's nodes (and asks for their formats), the
    // second the formats.
    for (int round = 0; round < 2 && ok; ++round) {
        if (d->broken) {
            ok = false;
            break;
        }
        d->settleDone = false;
        d->settleSeq = pw_core_sync(m_core, PW_ID_CORE, 0);
        while (!d->settleDone && !d->broken) {
            if (pw_thread_loop_timed_wait_full(m_loop, &deadline) != 0) {
                ok = false;
                break;
            }
        }
    }
    ok = ok && !d->broken;
    unlock();
    return ok;
}

bool PipeWireConnection::broken() const
{
    lock();
    const bool b = d->broken;
    unlock();
    return b;
}

std::vector<PipeWireNode> PipeWireConnection::nodes() const
{
    std::vector<PipeWireNode> list;
    lock();
    for (auto &n : d->nodes) {
        if (n.second->ready)
            list.push_back(n.second->node);
    }
    unlock();
    return list;
}

void PipeWireConnection::lock() const
{
    pw_thread_loop_lock(m_loop);
}

void PipeWireConnection::unlock() const
{
    pw_thread_loop_unlock(m_loop);
}

pw_loop *PipeWireConnection::loop() const
{
    return pw_thread_loop_get_loop(m_loop);
}

int PipeWireConnection::watchNode(uint32_t id, std::function<void()> gone)
{
    const int token = d->nextToken++;
    if (d->broken || d->nodes.find(id) == d->nodes.end()) {
        gone();
        return token;
    }
    d->watchers[token] = {id, std::move(gone)};
    return token;
}

void PipeWireConnection::unwatch(int token)
{
    d->watchers.erase(token);
}

void PipeWireConnection::setChangeListener(std::function<void()> changed)
{
    lock();
    d->changed = std::move(changed);
    unlock();
}

} // namespace kvplat
