#ifndef FRAMEBUF_H
#define FRAMEBUF_H

#include "quebuf.h"

// One frame buffer of the pool: the size of the frame last written into it
// and its bytes.
struct FrameBuf
{
    // Carried for other users of the record; not read here.
    int userTag = 0;
    int planeCount = 3;

    int width = 0;
    int height = 0;
    double frameRate = 25.0;

    // Not read here either.
    int userFlags = 0;
    int userIndex = 0;

    CQueBuf block;
};

#endif
