/* The system calls the V4L2 provider makes on a device, as one table. The production table is
 * libv4l2 plus poll(2); a library named by KV_V4L2_BACKEND may stand in for the kernel. */
#ifndef KV_PLATFORM_V4L2BACKEND_H
#define KV_PLATFORM_V4L2BACKEND_H

#include <poll.h>
#include <stddef.h>
#include <stdint.h>
#ifdef __cplusplus
extern "C" {
#endif
struct KvV4l2Backend
{
    int (*open)(const char *path, int flags);
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long request, void *arg);
    void *(*mmap)(void *addr, size_t length, int prot, int flags, int fd, int64_t offset);
    int (*munmap)(void *addr, size_t length);
    int (*poll)(struct pollfd *fds, nfds_t nfds, int timeout);
};
/* The entry point of a backend library. */
const struct KvV4l2Backend *kvV4l2Backend(void);
#ifdef __cplusplus
}
#endif

#endif /* KV_PLATFORM_V4L2BACKEND_H */
