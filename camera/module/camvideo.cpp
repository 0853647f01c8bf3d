#include "camvideo.h"

#include "camvideoimp.h"
#include "ikvbooth.h"

CamVideo::~CamVideo() = default;

CamVideo *CamVideo::create()
{
    return new CamVideoImp(createBooth());
}
