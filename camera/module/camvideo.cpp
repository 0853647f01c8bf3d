#include "camvideo.h"

#include "camvideoimp.h"
#include "ikvbooth.h"

// Out of line so that the library exports them: hosts link to these symbols.
CamVideo::CamVideo() = default;
CamVideo::CamVideo(const CamVideo &) = default;
CamVideo &CamVideo::operator=(const CamVideo &)
{
    return *this;
}
CamVideo::~CamVideo() = default;

CamVideo *CamVideo::create()
{
    return new CamVideoImp(createBooth());
}

// CamVideo holds no data (a member would change its size for every host), so
// the accessors reach the implementation by a checked cast; a class the host
// derives itself gets the empty answers.
QJsonObject CamVideo::currentFormat() const
{
    const auto *imp = dynamic_cast<const CamVideoImp *>(this);
    return imp ? imp->formatReport() : QJsonObject();
}

qint64 CamVideo::frameCount() const
{
    const auto *imp = dynamic_cast<const CamVideoImp *>(this);
    return imp ? imp->deliveredFrames() : 0;
}

qint64 CamVideo::shownFrameCount() const
{
    const auto *imp = dynamic_cast<const CamVideoImp *>(this);
    return imp ? imp->shownFrames() : 0;
}
