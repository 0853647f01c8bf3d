// Sample conversions of KvBooth (run on the streaming thread).
#include "kvbooth.h"

#include <libyuv/convert.h>
#include <libyuv/planar_functions.h>
#include <libyuv/rotate.h>
#include <libyuv/scale.h>

#include <algorithm>
#include <climits>

namespace {

const quint32 kFourccMJPG = 0x47504A4D;
const quint32 kFourccYUY2 = 0x32595559;
const quint32 kFourccNV12 = 0x3231564E;
const quint32 kFourccI420 = 0x30323449;
const quint32 kFourccIYUV = 0x56555949;
const quint32 kFourccYU12 = 0x32315559;

// Bytes the converters touch for a W x H I420 image laid out with chroma
// strides of W / 2: W x H x 3 / 2, a little more for odd sizes, where each
// chroma row is (W + 1) / 2 bytes long and there are (H + 1) / 2 of them.
qint64 i420Extent(qint64 w, qint64 h)
{
    const qint64 image = 3 * w * h / 2;
    const qint64 vEnd = w * h + w * h / 4 + ((h + 1) / 2 - 1) * (w / 2) + (w + 1) / 2;
    return std::max(image, vEnd);
}

struct Planes
{
    uchar *y;
    int strideY;
    uchar *u;
    int strideU;
    uchar *v;
    int strideV;
};

// The row stride of a 4:2:0 sample (NV12 or I420) of h rows whose planes
// share one luma stride s: s x h luma bytes, then (h + 1) / 2 chroma rows of s
// bytes (NV12) or twice as many of s / 2 (I420). 0 when the length fits no
// stride of at least w.
int planarStride(quint32 fourcc, int len, int w, int h)
{
    const qint64 rows = qint64(h) + (h + 1) / 2;
    qint64 stride = len / rows;
    if (fourcc != kFourccNV12)
        stride &= ~qint64(1); // the chroma rows are exactly half a luma row
    // An NV12 chroma row holds (w + 1) / 2 pairs.
    const qint64 least = fourcc == kFourccNV12 ? qint64(w) + (w & 1) : qint64(w);
    return stride >= least && stride <= INT_MAX ? int(stride) : 0;
}

// Converts an MJPG, YUY2, NV12 or I420 sample of w x h; 0 on success, 1 for
// other codes (nothing written), -1 on failure.
int convertCompressedOrPacked(quint32 fourcc, const uchar *sample, int len, int w, int h,
                              const Planes &p)
{
    if (fourcc == kFourccMJPG)
        return libyuv::MJPGToI420(sample, size_t(len), p.y, p.strideY, p.u, p.strideU, p.v,
                                  p.strideV, w, h, w, h) == 0
                   ? 0
                   : -1;
    if (fourcc == kFourccYUY2) {
        // The row stride comes from the sample length; a row shorter than
        // the picture would make the converter read past the sample.
        const int stride = len / h;
        if (qint64(stride) < qint64(w) * 2)
            return -1;
        return libyuv::YUY2ToI420(sample, stride, p.y, p.strideY, p.u, p.strideU, p.v, p.strideV, w,
                                  h) == 0
                   ? 0
                   : -1;
    }
    if (fourcc == kFourccNV12) {
        const int stride = planarStride(fourcc, len, w, h);
        if (stride == 0)
            return -1;
        const uchar *uv = sample + qint64(stride) * h;
        return libyuv::NV12ToI420(sample, stride, uv, stride, p.y, p.strideY, p.u, p.strideU, p.v,
                                  p.strideV, w, h) == 0
                   ? 0
                   : -1;
    }
    if (fourcc == kFourccI420 || fourcc == kFourccIYUV || fourcc == kFourccYU12) {
        const int stride = planarStride(fourcc, len, w, h);
        if (stride == 0)
            return -1;
        const uchar *u = sample + qint64(stride) * h;
        const uchar *v = u + qint64(stride / 2) * ((h + 1) / 2);
        return libyuv::I420Copy(sample, stride, u, stride / 2, v, stride / 2, p.y, p.strideY, p.u,
                                p.strideU, p.v, p.strideV, w, h) == 0
                   ? 0
                   : -1;
    }
    return 1;
}

// Converts a sample of any recorded code for convertFrameScaled: MJPG, YUY2, NV12,
// I420, or else 24-bit BGR of exactly w x h pixels, bottom-up unless the format
// said top-down. 0 on success, -1 on failure.
int convertAnySample(quint32 fourcc, bool topDown, const uchar *sample, int len, int w, int h,
                     const Planes &p)
{
    const int rc = convertCompressedOrPacked(fourcc, sample, len, w, h, p);
    if (rc != 1)
        return rc;
    if (qint64(len) != qint64(w) * h * 3)
        return -1;
    return libyuv::RGB24ToI420(sample, len / h, p.y, p.strideY, p.u, p.strideU, p.v, p.strideV, w,
                               topDown ? h : -h) == 0
               ? 0
               : -1;
}

} // namespace

int KvBooth::convertFrame(const uchar *sample, int *len, uchar *dst, int dstSize)
{
    if (!formatValid)
        return -1;
    const int w = videoWidth;
    const int h = videoHeight;
    if (w <= 0 || h <= 0 || !sample || !len || *len <= 0 || !dst)
        return -11;
    const qint64 imageSize = 3 * qint64(w) * h / 2;
    if (imageSize > INT_MAX || qint64(dstSize) < i420Extent(w, h))
        return -11;

    const qint64 lumaSize = qint64(w) * h;
    Planes planes{dst, w, dst + lumaSize, w / 2, dst + lumaSize + lumaSize / 4, w / 2};
    int rc = convertCompressedOrPacked(videoFourcc, sample, *len, w, h, planes);
    if (rc == 1) {
        // Anything else is 24-bit BGR of W x H pixels, rows bottom-up unless the
        // format said top-down; rows may be padded, the stride being len / H.
        if (qint64(*len) < lumaSize * 3 || *len % h != 0)
            return -11;
        rc = libyuv::RGB24ToI420(sample, *len / h, planes.y, planes.strideY, planes.u,
                                 planes.strideU, planes.v, planes.strideV, w,
                                 videoTopDown ? h : -h) == 0
                 ? 0
                 : -1;
    }
    return rc == 0 ? int(imageSize) : -11;
}

int KvBooth::convertFrameScaled(const uchar *sample, int *len, const CamI420Image *dst)
{
    if (!formatValid)
        return -1;
    if (!dst || !dst->y || !dst->u || !dst->v || dst->width <= 0 || dst->height <= 0 ||
        dst->strideY < dst->width || dst->strideU < (dst->width + 1) / 2 ||
        dst->strideV < (dst->width + 1) / 2)
        return -1;
    const int w = videoWidth;
    const int h = videoHeight;
    if (w <= 0 || h <= 0 || !sample || !len || *len <= 0)
        return -1;

    if (dst->width == w && dst->height == h) {
        const Planes planes{dst->y, dst->strideY, dst->u, dst->strideU, dst->v, dst->strideV};
        return convertAnySample(videoFourcc, videoTopDown, sample, *len, w, h, planes);
    }

    if (!scratchA || !scratchB)
        return -1;
    const qint64 lumaSize = qint64(w) * h;
    const Planes source{scratchA, w, scratchA + lumaSize, w / 2, scratchA + lumaSize + lumaSize / 4,
                        w / 2};
    // A sample that does not convert leaves the destination as it was.
    if (convertAnySample(videoFourcc, videoTopDown, sample, *len, w, h, source) != 0)
        return -1;

    const int angle = rotation;
    const bool quarterTurn = angle == 90 || angle == 270;
    const int rw = quarterTurn ? h : w;
    const int rh = quarterTurn ? w : h;
    const Planes rotated{
        scratchB, rw, scratchB + lumaSize, rw / 2, scratchB + lumaSize + lumaSize / 4, rw / 2};
    libyuv::I420Rotate(source.y, source.strideY, source.u, source.strideU, source.v, source.strideV,
                       rotated.y, rotated.strideY, rotated.u, rotated.strideU, rotated.v,
                       rotated.strideV, w, h, libyuv::RotationMode(angle));

    // The picture keeps its proportions, centred; the bands around it are black.
    const int dw = dst->width;
    const int dh = dst->height;
    int sw = dw;
    int sh = dh;
    if (qint64(rw) * dh > qint64(rh) * dw)
        sh = int(qint64(rh) * dw / rw);
    else
        sw = int(qint64(rw) * dh / rh);
    if (sw < dw)
        sw &= ~1;
    if (sh < dh)
        sh &= ~1;
    const int ox = ((dw - sw) / 2) & ~1;
    const int oy = ((dh - sh) / 2) & ~1;

    libyuv::SetPlane(dst->y, dst->strideY, dw, dh, 16);
    libyuv::SetPlane(dst->u, dst->strideU, (dw + 1) / 2, (dh + 1) / 2, 128);
    libyuv::SetPlane(dst->v, dst->strideV, (dw + 1) / 2, (dh + 1) / 2, 128);
    if (sw <= 0 || sh <= 0)
        return 0;
    libyuv::I420Scale(rotated.y, rotated.strideY, rotated.u, rotated.strideU, rotated.v,
                      rotated.strideV, rw, rh, dst->y + qint64(oy) * dst->strideY + ox,
                      dst->strideY, dst->u + qint64(oy / 2) * dst->strideU + ox / 2, dst->strideU,
                      dst->v + qint64(oy / 2) * dst->strideV + ox / 2, dst->strideV, sw, sh,
                      libyuv::kFilterLinear);
    return 0;
}
