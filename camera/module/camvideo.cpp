#include "camvideo.h"

CamVideo::~CamVideo() = default;

// Placeholder until the camera module lands.
CamVideo *CamVideo::create() { return nullptr; }
