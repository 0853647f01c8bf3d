// libFuzzer target: one camera sample of the format KV_FUZZ_FOURCC through the
// booth's conversions (convertFrame, convertFrameScaled straight, and rotated
// and scaled), for booths that recorded several sizes. The sample and every
// destination plane end right before an inaccessible page.
#include "guardedbuffer.h"
#include "kvbooth.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Size
{
    int width;
    int height;
};

// 64 x 48 is the size of the seed pictures; 48 x 64 receives the "wrong size" seed;
// the smallest size and one with an odd height reach the edges of the converters.
const Size kSizes[] = {{64, 48}, {48, 64}, {2, 2}, {18, 11}};

struct Target
{
    Size size;
    std::unique_ptr<KvBooth> booth;
};

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

// One booth per size, each having recorded a virtual camera's only format.
std::vector<Target> &targets()
{
    static std::vector<Target> list = [] {
        qInstallMessageHandler(quiet);
        QByteArray cameras = "[";
        for (const Size &s : kSizes) {
            if (cameras.size() > 1)
                cameras += ",";
            cameras += QByteArray("{\"name\": \"Fuzz ") + QByteArray::number(s.width) + "x" +
                       QByteArray::number(s.height) +
                       "\", \"path\": \"fuzz:" + QByteArray::number(s.width) + "x" +
                       QByteArray::number(s.height) + "\", \"formats\": [{\"fourcc\": \"" +
                       KV_FUZZ_FOURCC + "\", \"width\": " + QByteArray::number(s.width) +
                       ", \"height\": " + QByteArray::number(s.height) + ", \"fps\": 30}]}";
        }
        cameras += "]";
        qputenv("KV_VIRTUAL_CAMERAS", cameras);
        std::vector<Target> made;
        for (const Size &s : kSizes) {
            Target t{s, std::make_unique<KvBooth>()};
            const QString name = QString("^Fuzz %1x%2$").arg(s.width).arg(s.height);
            if (t.booth->openCamera(name) != 0 || t.booth->closeCamera() != 0)
                abort(); // without a recorded format nothing would be fuzzed
            made.push_back(std::move(t));
        }
        return made;
    }();
    return list;
}

// The bytes the booth writes for an I420 image of w x h (chroma rows of w / 2 apart).
size_t i420Extent(size_t w, size_t h)
{
    const size_t image = 3 * w * h / 2;
    const size_t vEnd = w * h + w * h / 4 + ((h + 1) / 2 - 1) * (w / 2) + (w + 1) / 2;
    return image > vEnd ? image : vEnd;
}

struct Planes
{
    GuardedBuffer y, u, v;

    CamI420Image image(int w, int h)
    {
        CamI420Image out;
        out.width = w;
        out.height = h;
        out.strideY = w;
        out.strideU = (w + 1) / 2;
        out.strideV = (w + 1) / 2;
        const size_t chroma = size_t(out.strideU) * size_t((h + 1) / 2);
        out.y = y.place(size_t(w) * size_t(h));
        out.u = u.place(chroma);
        out.v = v.place(chroma);
        return out;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static GuardedBuffer sampleMemory;
    static GuardedBuffer frameMemory;
    static Planes planes;

    if (size > size_t(1) << 24)
        return 0;
    uint8_t *sample = sampleMemory.place(size);
    if (size)
        memcpy(sample, data, size);
    for (Target &t : targets()) {
        const int w = t.size.width;
        const int h = t.size.height;
        int len = int(size);
        const size_t extent = i420Extent(size_t(w), size_t(h));
        t.booth->convertFrame(sample, &len, frameMemory.place(extent), int(extent));

        CamI420Image straight = planes.image(w, h);
        t.booth->convertFrameScaled(sample, &len, &straight);

        // Another size, from the input's length, with each rotation in turn.
        t.booth->setRotation(int(size % 4));
        CamI420Image other = planes.image(2 + int(size % 61), 1 + int(size / 61 % 53));
        t.booth->convertFrameScaled(sample, &len, &other);
    }
    return 0;
}
