// The desktop's camera portal, for sandboxed programs: asks once for access to the cameras and
// then for a PipeWire connection that shows the cameras the user allowed.
#ifndef KV_PLATFORM_CAMERAPORTAL_H
#define KV_PLATFORM_CAMERAPORTAL_H

#include <string>

namespace kvplat {

class CameraPortal
{
public:
    enum class Answer { Granted, Denied, Unavailable };

    // True in a Flatpak sandbox or when KV_CAMERA_PORTAL=1.
    static bool wanted();

    // AccessCamera on the session bus, waiting for the person's answer (bounded); the reason
    // of a failure in `why`.
    static Answer accessCamera(std::string *why);
    // OpenPipeWireRemote: a descriptor of a PipeWire connection, or -1 (reason in `why`).
    static int openPipeWireRemote(std::string *why);
};

} // namespace kvplat

#endif // KV_PLATFORM_CAMERAPORTAL_H
