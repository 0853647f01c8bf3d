#ifndef I420REFERENCE_H
#define I420REFERENCE_H

#include <QByteArray>

#include <cstdint>
#include <vector>

// I420 images computed from camera samples without libyuv, to check what the
// camera path delivers.
namespace i420ref {

// Packed Y0 U Y1 V rows; the row stride is taken from the sample length.
QByteArray fromYuy2(const std::vector<uint8_t> &sample, int width, int height);
// Blue, green, red triplets, rows stored bottom-up; BT.601 studio range.
QByteArray fromRgb24(const std::vector<uint8_t> &sample, int width, int height);
// Decoded with TurboJPEG; 4:2:2 and 4:4:4 chroma brought to 4:2:0 by averaging.
QByteArray fromMjpg(const std::vector<uint8_t> &sample, int width, int height);

// Largest difference of one byte between two images of equal size, or 256
// when the sizes differ.
int maxDifference(const QByteArray &a, const QByteArray &b);

} // namespace i420ref

#endif
