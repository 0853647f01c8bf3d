#include "fflogcapture.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace {

thread_local FfLogCapture *t_capture = nullptr;
bool g_installed = false;

// FFmpeg must not call into this library once it is unloaded.
struct CallbackReset
{
    ~CallbackReset()
    {
        if (g_installed)
            av_log_set_callback(av_log_default_callback);
    }
} g_callbackReset;

void logCallback(void *avcl, int level, const char *fmt, va_list vl)
{
    FfLogCapture *capture = t_capture;
    if (!capture) {
        av_log_default_callback(avcl, level, fmt, vl);
        return;
    }
    if (level > AV_LOG_WARNING)
        return;
    char line[512];
    va_list copy;
    va_copy(copy, vl);
    std::vsnprintf(line, sizeof line, fmt, copy);
    va_end(copy);
    capture->append(line);
}

} // namespace

FfLogCapture::FfLogCapture() : previous_(t_capture)
{
    text_[0] = '\0';
    install();
    t_capture = this;
}

FfLogCapture::~FfLogCapture()
{
    t_capture = previous_;
}

void FfLogCapture::install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_callback(logCallback);
        g_installed = true;
    });
}

void FfLogCapture::append(const char *line)
{
    // FFmpeg may log one line in several pieces; only a finished line gets a
    // separator before the next one.
    std::size_t n = std::strlen(line);
    bool ends = n > 0 && line[n - 1] == '\n';
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r'))
        --n;
    if (n == 0) {
        lineOpen_ = lineOpen_ && !ends;
        return;
    }
    const std::size_t room = sizeof text_ - 1;
    if (length_ > 0 && !lineOpen_ && length_ + 2 < room) {
        std::memcpy(text_ + length_, "; ", 2);
        length_ += 2;
    }
    if (length_ + n > room)
        n = room - length_;
    std::memcpy(text_ + length_, line, n);
    length_ += n;
    text_[length_] = '\0';
    lineOpen_ = !ends;
}
