#ifndef VIDSHOW_H
#define VIDSHOW_H

// The native window id type of this platform (an X11 window id).
typedef unsigned long HWND;

#ifdef __cplusplus
extern "C" {
#endif

int InitDisplayDevEnv(int reserved);
void *CreateVideoDeivce(HWND window, unsigned long flags);
int DisplayI420Video(void *device, void *y, void *u, void *v, int width, int height);

#ifdef __cplusplus
}
#endif

#endif
