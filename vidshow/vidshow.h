#ifndef VIDSHOW_H
#define VIDSHOW_H

// vidshow draws planar I420 frames into a native window through SDL2.

// The library builds with hidden symbols; each call below carries this mark.
#ifndef VIDSHOW_API
#define VIDSHOW_API __attribute__((visibility("default")))
#endif

// The native window id type of this platform (an X11 window id).
typedef unsigned long HWND;

#ifdef __cplusplus
extern "C" {
#endif

// Prepares SDL's video subsystem (once per process). 0 on success, -1 when no
// X11 display can be used. The argument is reserved and ignored.
VIDSHOW_API int InitDisplayDevEnv(int reserved);

// A device that draws into the X11 window `window`, or null when there is no
// X11 display or no such window. The device lives until ReleaseVideoDevice.
// `flags` is reserved and ignored. New devices convert as BT.601 limited range.
VIDSHOW_API void *CreateVideoDeivce(HWND window, unsigned long flags);

// Uploads one I420 frame (Y rows of `width` bytes, U and V rows of width / 2
// bytes) and draws it scaled to the window's whole area. 0 on success, -1 for
// a null device or plane, a frame smaller than 2 x 2, or a drawing failure.
VIDSHOW_API int DisplayI420Video(void *device, void *y, void *u, void *v, int width, int height);

// The YCbCr range of the frames the device gets: full range (JPEG, fullRange
// != 0) or limited (studio) range, both with the BT.601 matrix. 0 on success,
// -1 for a null or unknown device.
VIDSHOW_API int SetVideoDeviceColorRange(void *device, int fullRange);

// Releases the device, its renderer and texture; the window itself stays.
// SDL's video subsystem stays for the life of the process, also when the last
// device goes. A GL context current before the call is current after it,
// unless it was the device's own. Null and unknown devices are ignored.
VIDSHOW_API void ReleaseVideoDevice(void *device);

#ifdef __cplusplus
}
#endif

#endif
