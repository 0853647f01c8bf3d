#include "vidshow.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// The GLX context current on this thread, saved around SDL's drawing. The
// process may draw with OpenGL elsewhere (Qt's own GL widgets), and SDL keeps
// its own idea of which context is current, so both sides must be put back.
struct GlxCurrent
{
    using GetContext = void *(*)();
    using GetDrawable = unsigned long (*)();
    using GetDisplay = Display *(*)();
    using MakeContextCurrent = int (*)(Display *, unsigned long, unsigned long, void *);

    explicit GlxCurrent(SDL_Window *window) : m_window(window)
    {
        // Looked up each time: SDL loads its GL library with each wrapped GL
        // window and unloads it with the last one, so an address kept from
        // before could be stale.
        const auto getContext =
            reinterpret_cast<GetContext>(SDL_GL_GetProcAddress("glXGetCurrentContext"));
        const auto getDraw =
            reinterpret_cast<GetDrawable>(SDL_GL_GetProcAddress("glXGetCurrentDrawable"));
        const auto getRead =
            reinterpret_cast<GetDrawable>(SDL_GL_GetProcAddress("glXGetCurrentReadDrawable"));
        const auto getDisplay =
            reinterpret_cast<GetDisplay>(SDL_GL_GetProcAddress("glXGetCurrentDisplay"));
        m_makeCurrent =
            reinterpret_cast<MakeContextCurrent>(SDL_GL_GetProcAddress("glXMakeContextCurrent"));
        if (getContext && getDraw && getRead && getDisplay && m_makeCurrent) {
            m_context = getContext();
            if (m_context) {
                m_display = getDisplay();
                m_draw = getDraw();
                m_read = getRead();
            }
        }
        // SDL skips making its context current when it believes it still is;
        // releasing first makes its renderer bind it for real.
        SDL_GL_MakeCurrent(m_window, nullptr);
    }
    ~GlxCurrent()
    {
        if (m_context && m_display && m_context != m_destroyed) {
            if (m_window)
                SDL_GL_MakeCurrent(m_window, nullptr);
            m_makeCurrent(m_display, m_draw, m_read, m_context);
        }
    }
    // The window is about to be destroyed: restore without telling SDL.
    void forgetWindow() { m_window = nullptr; }
    // `context` was deleted meanwhile (SDL's own, still current after a frame
    // drawn while no other was): making it current again is an X error, fatal
    // under Xlib's default handler.
    void forgetContext(void *context) { m_destroyed = context; }
    GlxCurrent(const GlxCurrent &) = delete;
    GlxCurrent &operator=(const GlxCurrent &) = delete;

private:
    SDL_Window *m_window;
    MakeContextCurrent m_makeCurrent = nullptr;
    void *m_context = nullptr;
    void *m_destroyed = nullptr;
    Display *m_display = nullptr;
    unsigned long m_draw = 0;
    unsigned long m_read = 0;
};

struct Device
{
    HWND xid = 0;
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_GLContext glContext = nullptr; // the GL renderer's context (a GLXContext)
    SDL_Texture *texture = nullptr;
    int textureWidth = 0;
    int textureHeight = 0;
    SDL_YUV_CONVERSION_MODE textureConversion = SDL_YUV_CONVERSION_BT601;
    // Cameras deliver BT.601: limited range unless told otherwise. SDL's own
    // choice would be BT.709 for HD sizes.
    SDL_YUV_CONVERSION_MODE conversion = SDL_YUV_CONVERSION_BT601;
    bool broken = false; // the window or the renderer could not be made
};

bool g_videoReady = false;

// The live devices; a pointer a caller passes in is used only when it is one
// of them.
std::vector<std::unique_ptr<Device>> &devices()
{
    static std::vector<std::unique_ptr<Device>> list;
    return list;
}

std::vector<std::unique_ptr<Device>>::iterator findDevice(const void *device)
{
    auto &list = devices();
    return std::find_if(list.begin(), list.end(),
                        [device](const std::unique_ptr<Device> &d) { return d.get() == device; });
}

// SDL's YUV conversion mode is global; a device's mode holds for its upload
// and its drawing (the renderer picks its shader when the commands run).
class ConversionScope
{
public:
    explicit ConversionScope(SDL_YUV_CONVERSION_MODE mode) : m_saved(SDL_GetYUVConversionMode())
    {
        SDL_SetYUVConversionMode(mode);
    }
    ~ConversionScope() { SDL_SetYUVConversionMode(m_saved); }
    ConversionScope(const ConversionScope &) = delete;
    ConversionScope &operator=(const ConversionScope &) = delete;

private:
    SDL_YUV_CONVERSION_MODE m_saved;
};

// True when `xid` names an existing, non-root window on the display SDL uses.
// A separate XCB connection reports errors as values, so an id that is not a
// window of this display (for example one of Qt's offscreen platform) does not
// reach Xlib's fatal error handler.
bool isX11Window(HWND xid)
{
    if (xid == 0 || xid > 0xffffffffUL)
        return false;
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    bool ok = false;
    xcb_generic_error_t *error = nullptr;
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(c, xcb_query_tree(c, xcb_window_t(xid)), &error);
    if (tree) {
        ok = tree->root != xcb_window_t(xid);
        std::free(tree);
    }
    std::free(error);
    xcb_disconnect(c);
    return ok;
}

int findRenderDriver(const char *name)
{
    const int n = SDL_GetNumRenderDrivers();
    for (int i = 0; i < n; ++i) {
        SDL_RendererInfo info;
        if (SDL_GetRenderDriverInfo(i, &info) == 0 && info.name &&
            std::strcmp(info.name, name) == 0)
            return i;
    }
    return -1;
}

// SDL does not watch foreign windows. Asking for their structure events lets
// SDL_PumpEvents learn about maps, unmaps and size changes, so that the
// renderer's output follows the window.
void watchWindow(SDL_Window *window, HWND xid)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
        XSelectInput(info.info.x11.display, Window(xid), StructureNotifyMask);
        XFlush(info.info.x11.display);
    }
}

// The renderer is made at the first frame: SDL's GL renderer on a foreign
// window only works once that window is mapped, which happens after the
// widget's constructor has asked for the device.
bool ensureWindow(Device *d)
{
    if (d->window)
        return true;
    if (d->broken)
        return false;
    d->window = SDL_CreateWindowFrom(reinterpret_cast<const void *>(d->xid));
    if (!d->window) {
        // Without a loadable OpenGL SDL refuses an OpenGL foreign window; a
        // plain one still takes the software renderer.
        SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "0");
        d->window = SDL_CreateWindowFrom(reinterpret_cast<const void *>(d->xid));
        SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
    }
    if (!d->window) {
        d->broken = true;
        return false;
    }
    watchWindow(d->window, d->xid);
    SDL_PumpEvents();
    return true;
}

bool ensureRenderer(Device *d)
{
    if (d->renderer)
        return true;
    if (d->broken)
        return false;
    const int gl = findRenderDriver("opengl");
    if (gl >= 0)
        d->renderer = SDL_CreateRenderer(d->window, gl, SDL_RENDERER_ACCELERATED);
    // SDL's GL renderer leaves the context it made current.
    if (d->renderer)
        d->glContext = SDL_GL_GetCurrentContext();
    if (!d->renderer)
        d->renderer =
            SDL_CreateRenderer(d->window, findRenderDriver("software"), SDL_RENDERER_SOFTWARE);
    if (!d->renderer) {
        d->broken = true;
        return false;
    }
    return true;
}

} // namespace

extern "C" int InitDisplayDevEnv(int)
{
    if (g_videoReady)
        return 0;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return -1;
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return -1;
    }
    SDL_StopTextInput();
    g_videoReady = true;
    return 0;
}

extern "C" void *CreateVideoDeivce(HWND window, unsigned long)
{
    if (!g_videoReady && InitDisplayDevEnv(0) != 0)
        return nullptr;
    if (!isX11Window(window))
        return nullptr;
    auto device = std::make_unique<Device>();
    device->xid = window;
    Device *d = device.get();
    devices().push_back(std::move(device));
    return d;
}

extern "C" int DisplayI420Video(void *device, void *y, void *u, void *v, int width, int height)
{
    if (!device || !y || !u || !v || width < 2 || height < 2)
        return -1;
    const auto found = findDevice(device);
    if (found == devices().end())
        return -1;
    Device *d = found->get();
    if (!ensureWindow(d))
        return -1;
    std::unique_ptr<GlxCurrent> glx;
    if (SDL_GetWindowFlags(d->window) & SDL_WINDOW_OPENGL)
        glx = std::make_unique<GlxCurrent>(d->window);
    if (!ensureRenderer(d))
        return -1;

    // Keep SDL's view of the window current and its queue empty: nobody else
    // reads SDL's events in this process.
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

    // SDL's IYUV texture has even sizes; an odd last column or row is left
    // out rather than read past the caller's planes.
    const int w = width & ~1;
    const int h = height & ~1;
    ConversionScope conversion(d->conversion);
    // The GL renderer fixes a texture's conversion when it makes it.
    if (!d->texture || d->textureWidth != w || d->textureHeight != h ||
        d->textureConversion != d->conversion) {
        if (d->texture)
            SDL_DestroyTexture(d->texture);
        d->texture =
            SDL_CreateTexture(d->renderer, SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING, w, h);
        d->textureWidth = d->texture ? w : 0;
        d->textureHeight = d->texture ? h : 0;
        d->textureConversion = d->conversion;
        if (!d->texture)
            return -1;
    }
    if (SDL_UpdateYUVTexture(d->texture, nullptr, static_cast<const Uint8 *>(y), width,
                             static_cast<const Uint8 *>(u), width / 2,
                             static_cast<const Uint8 *>(v), width / 2) != 0)
        return -1;
    SDL_SetRenderDrawColor(d->renderer, 0, 0, 0, 255);
    SDL_RenderClear(d->renderer);
    if (SDL_RenderCopy(d->renderer, d->texture, nullptr, nullptr) != 0)
        return -1;
    SDL_RenderPresent(d->renderer);
    return 0;
}

extern "C" int SetVideoDeviceColorRange(void *device, int fullRange)
{
    if (!device)
        return -1;
    const auto found = findDevice(device);
    if (found == devices().end())
        return -1;
    (*found)->conversion = fullRange ? SDL_YUV_CONVERSION_JPEG : SDL_YUV_CONVERSION_BT601;
    return 0;
}

extern "C" void ReleaseVideoDevice(void *device)
{
    if (!device)
        return;
    auto &list = devices();
    const auto found = findDevice(device);
    if (found == list.end())
        return;
    Device *d = found->get();
    if (d->window) {
        // Deleting SDL's GL context leaves no context current; whatever the
        // process had current before is put back.
        std::unique_ptr<GlxCurrent> glx;
        if (SDL_GetWindowFlags(d->window) & SDL_WINDOW_OPENGL)
            glx = std::make_unique<GlxCurrent>(d->window);
        if (d->texture)
            SDL_DestroyTexture(d->texture);
        if (d->renderer)
            SDL_DestroyRenderer(d->renderer);
        // A foreign window is only unwrapped: the X window stays its owner's.
        if (glx) {
            glx->forgetWindow();
            glx->forgetContext(d->glContext);
        }
        SDL_DestroyWindow(d->window);
    }
    // SDL's video subsystem stays for the life of the process: quitting it
    // closes SDL's X connection and unloads its GL library, which pulls driver
    // state from under the process's other OpenGL users (Qt's GL widgets).
    list.erase(found);
}
