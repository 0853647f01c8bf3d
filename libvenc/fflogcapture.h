// Routes FFmpeg's log lines into an encoder's message while it works.
#ifndef LIBVENC_FFLOGCAPTURE_H
#define LIBVENC_FFLOGCAPTURE_H

#include <cstddef>

// While an FfLogCapture lives, FFmpeg messages of warning level or worse
// logged on the same thread are appended to its text ("; " between lines)
// instead of reaching the process's standard streams. Messages of other
// threads, or outside a capture, go to FFmpeg's default logger (stderr).
class FfLogCapture
{
public:
    FfLogCapture();
    ~FfLogCapture();
    FfLogCapture(const FfLogCapture &) = delete;
    FfLogCapture &operator=(const FfLogCapture &) = delete;

    const char *text() const { return text_; }
    bool empty() const { return length_ == 0; }

    // Installs the process-wide FFmpeg log callback (once).
    static void install();

    void append(const char *line);

private:
    char text_[2048];
    std::size_t length_ = 0;
    bool lineOpen_ = false;
    FfLogCapture *previous_;
};

#endif
