// convertFrame and convertFrameScaled on the samples the virtual cameras
// deliver, checked against an independent computation of the I420 image.
#include "boothtestsupport.h"

#include <faultinjection.h>
#include <samplegenerator.h>

#include <QtTest>

#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

const int W = 1280;
const int H = 720;
const int kImage = W * H * 3 / 2;

using Bytes = std::vector<uchar>;

const char *const kCameras = R"([
    {"name": "Yuy2 Cam", "path": "virtual:yuy2", "formats": [{"fourcc": "YUY2", "width": 1280, "height": 720, "fps": 30}]},
    {"name": "Mjpg Cam", "path": "virtual:mjpg", "formats": [{"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30}]},
    {"name": "Rgb Cam", "path": "virtual:rgb", "formats": [{"fourcc": "RGB24", "width": 1280, "height": 720, "fps": 30}]}])";

// The largest difference between two byte ranges.
int maxDifference(const uchar *a, const uchar *b, size_t n)
{
    int worst = 0;
    for (size_t i = 0; i < n; ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// YUY2 rows of `stride` bytes: luma as it stands, chroma averaged over row pairs.
Bytes yuy2Reference(const uchar *s, int stride)
{
    Bytes out(kImage);
    uchar *u = out.data() + W * H;
    uchar *v = u + W * H / 4;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            out[y * W + x] = s[y * stride + 2 * x];
    for (int cy = 0; cy < H / 2; ++cy)
        for (int cx = 0; cx < W / 2; ++cx) {
            const uchar *r0 = s + 2 * cy * stride + 4 * cx;
            const uchar *r1 = r0 + stride;
            u[cy * (W / 2) + cx] = uchar((r0[1] + r1[1] + 1) >> 1);
            v[cy * (W / 2) + cx] = uchar((r0[3] + r1[3] + 1) >> 1);
        }
    return out;
}

// Bottom-up BGR rows to BT.601 studio-range I420.
Bytes rgb24Reference(const uchar *s)
{
    Bytes out(kImage);
    uchar *u = out.data() + W * H;
    uchar *v = u + W * H / 4;
    auto pixel = [s](int x, int y) { return s + (H - 1 - y) * W * 3 + x * 3; };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uchar *p = pixel(x, y);
            out[y * W + x] = uchar((66 * p[2] + 129 * p[1] + 25 * p[0] + 0x1080) >> 8);
        }
    for (int cy = 0; cy < H / 2; ++cy)
        for (int cx = 0; cx < W / 2; ++cx) {
            int b = 0, g = 0, r = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const uchar *p = pixel(2 * cx + dx, 2 * cy + dy);
                    b += p[0];
                    g += p[1];
                    r += p[2];
                }
            b = (b + 2) / 4;
            g = (g + 2) / 4;
            r = (r + 2) / 4;
            u[cy * (W / 2) + cx] = uchar((112 * b - 74 * g - 38 * r + 0x8080) >> 8);
            v[cy * (W / 2) + cx] = uchar((112 * r - 94 * g - 18 * b + 0x8080) >> 8);
        }
    return out;
}

// TurboJPEG's decode (fast integer DCT, as libyuv asks for) of a 4:2:2 JPEG, its chroma averaged
// over row pairs.
Bytes mjpgReference(const uchar *jpeg, int len)
{
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, subsamp = 0, colorspace = 0;
    Bytes out;
    if (tjDecompressHeader3(tj, jpeg, len, &w, &h, &subsamp, &colorspace) == 0 && w == W &&
        h == H && subsamp == TJSAMP_422) {
        Bytes y(W * H), u422(W / 2 * H), v422(W / 2 * H);
        unsigned char *planes[3] = {y.data(), u422.data(), v422.data()};
        if (tjDecompressToYUVPlanes(tj, jpeg, len, planes, W, nullptr, H, TJFLAG_FASTDCT) == 0) {
            out = y;
            out.resize(kImage);
            uchar *u = out.data() + W * H;
            uchar *v = u + W * H / 4;
            for (int cy = 0; cy < H / 2; ++cy)
                for (int cx = 0; cx < W / 2; ++cx) {
                    const int i0 = 2 * cy * (W / 2) + cx;
                    const int i1 = i0 + W / 2;
                    u[cy * (W / 2) + cx] = uchar((u422[i0] + u422[i1] + 1) >> 1);
                    v[cy * (W / 2) + cx] = uchar((v422[i0] + v422[i1] + 1) >> 1);
                }
        }
    }
    tjDestroy(tj);
    return out;
}

} // namespace

class TestKvBoothConvert : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        kvfault::clearFaults();
        kvfault::setVirtualCameras(kCameras);
    }
    void cleanup() { QTRY_COMPARE(kvfault::liveObjects(), 0L); }

    void realSamples_data();
    void realSamples();
    void yuy2Bounds();
    void mjpgRefusals();
    void rgb24Length();
    void scaledStraight();
    void scaledRotation_data();
    void scaledRotation();
    void scaledRgb24();
    void scaledFailures();

private:
    // Opens the camera, runs it until a sample has come, and keeps that sample.
    std::unique_ptr<KvBooth> openAndCapture(const QString &camera, Bytes *sample);
};

std::unique_ptr<KvBooth> TestKvBoothConvert::openAndCapture(const QString &camera, Bytes *sample)
{
    std::unique_ptr<KvBooth> booth(new KvBooth);
    SampleSink sink;
    booth->setYUVDataCallBack(&sink);
    if (booth->openCamera(camera) != 0 || booth->run() != 0)
        return nullptr;
    const bool arrived = QTest::qWaitFor([&sink]() { return sink.samples > 0; }, 10000);
    booth->stop();
    booth->closeCamera();
    if (!arrived)
        return nullptr;
    *sample = sink.first;
    return booth;
}

void TestKvBoothConvert::realSamples_data()
{
    QTest::addColumn<QString>("camera");
    QTest::addColumn<int>("sampleLength");
    QTest::addColumn<int>("lumaTolerance");
    QTest::addColumn<int>("chromaTolerance");
    QTest::newRow("YUY2") << "Yuy2 Cam" << W * H * 2 << 0 << 0;
    QTest::newRow("MJPG") << "Mjpg Cam" << 0 << 1 << 1;
    QTest::newRow("RGB24") << "Rgb Cam" << W * H * 3 << 1 << 2;
}

void TestKvBoothConvert::realSamples()
{
    QFETCH(QString, camera);
    QFETCH(int, sampleLength);
    QFETCH(int, lumaTolerance);
    QFETCH(int, chromaTolerance);

    Bytes sample;
    std::unique_ptr<KvBooth> booth = openAndCapture(camera, &sample);
    QVERIFY(booth);
    QVERIFY(!sample.empty());
    if (sampleLength)
        QCOMPARE(int(sample.size()), sampleLength);

    Bytes reference = camera == "Yuy2 Cam"  ? yuy2Reference(sample.data(), W * 2)
                      : camera == "Rgb Cam" ? rgb24Reference(sample.data())
                                            : mjpgReference(sample.data(), int(sample.size()));
    QCOMPARE(int(reference.size()), kImage);

    // Converted after the close: the recorded format outlives the graph.
    Bytes dst(W * H * 2, 0xEE);
    int len = int(sample.size());
    QCOMPARE(booth->convertFrame(sample.data(), &len, dst.data(), int(dst.size())), kImage);
    QCOMPARE(len, int(sample.size()));
    QVERIFY2(maxDifference(dst.data(), reference.data(), W * H) <= lumaTolerance,
             qPrintable(QString::number(maxDifference(dst.data(), reference.data(), W * H))));
    QVERIFY(maxDifference(dst.data() + W * H, reference.data() + W * H, W * H / 2) <=
            chromaTolerance);
    // Nothing past the I420 image is written.
    QVERIFY(std::all_of(dst.begin() + kImage, dst.end(), [](uchar b) { return b == 0xEE; }));
}

void TestKvBoothConvert::yuy2Bounds()
{
    Bytes sample;
    std::unique_ptr<KvBooth> booth = openAndCapture("Yuy2 Cam", &sample);
    QVERIFY(booth);
    Bytes expected(kImage);
    int len = int(sample.size());
    QCOMPARE(booth->convertFrame(sample.data(), &len, expected.data(), kImage), kImage);

    // Rows with 20 extra bytes: the stride comes from the length.
    const int padded = W * 2 + 20;
    Bytes wide(size_t(padded) * H, 0x55);
    for (int y = 0; y < H; ++y)
        std::copy_n(sample.data() + y * W * 2, W * 2, wide.data() + y * padded);
    Bytes dst(kImage);
    len = padded * H;
    QCOMPARE(booth->convertFrame(wide.data(), &len, dst.data(), kImage), kImage);
    QVERIFY(dst == expected);

    // Refused without touching memory they do not own.
    len = W * 2 * H - 1;
    QCOMPARE(booth->convertFrame(sample.data(), &len, dst.data(), kImage), -11);
    len = W * 2;
    QCOMPARE(booth->convertFrame(sample.data(), &len, dst.data(), kImage), -11);
    len = int(sample.size());
    QCOMPARE(booth->convertFrame(sample.data(), &len, dst.data(), kImage - 1), -11);
    QCOMPARE(booth->convertFrame(nullptr, &len, dst.data(), kImage), -11);
    QCOMPARE(booth->convertFrame(sample.data(), &len, nullptr, kImage), -11);
    QCOMPARE(booth->convertFrame(sample.data(), nullptr, dst.data(), kImage), -11);
}

void TestKvBoothConvert::mjpgRefusals()
{
    Bytes sample;
    std::unique_ptr<KvBooth> booth = openAndCapture("Mjpg Cam", &sample);
    QVERIFY(booth);
    Bytes dst(kImage);

    kvplat::SampleGenerator generator;
    std::vector<uint8_t> small;
    QVERIFY(
        generator.render(kvplat::SampleFormat::Mjpg, 640, 480, kvplat::SamplePattern(), 0, small));
    int len = int(small.size());
    QCOMPARE(booth->convertFrame(small.data(), &len, dst.data(), kImage), -11);

    Bytes garbage(4096, 0x5A);
    len = int(garbage.size());
    QCOMPARE(booth->convertFrame(garbage.data(), &len, dst.data(), kImage), -11);
    len = int(sample.size());
    QCOMPARE(booth->convertFrame(sample.data(), &len, dst.data(), kImage - 1), -11);

    // A cut-off picture is decoded as far as it goes or refused, never read past.
    Bytes cut(sample.begin(), sample.begin() + long(sample.size() / 2));
    len = int(cut.size());
    const int result = booth->convertFrame(cut.data(), &len, dst.data(), kImage);
    QVERIFY(result == kImage || result == -11);
}

void TestKvBoothConvert::rgb24Length()
{
    Bytes sample;
    std::unique_ptr<KvBooth> booth = openAndCapture("Rgb Cam", &sample);
    QVERIFY(booth);
    Bytes dst(kImage);
    for (int len : {W * H * 3 - 1, W * H * 3 + 3, W * H * 2}) {
        int n = len;
        Bytes data(size_t(len), 0);
        QCOMPARE(booth->convertFrame(data.data(), &n, dst.data(), kImage), -11);
    }
}

void TestKvBoothConvert::scaledStraight()
{
    Bytes sample;
    std::unique_ptr<KvBooth> booth = openAndCapture("Yuy2 Cam", &sample);
    QVERIFY(booth);
    Bytes expected(kImage);
    int len = int(sample.size());
    QCOMPARE(booth->convertFrame(sample.data(), &len, expected.data(), kImage), kImage);

    // The same size converts straight into the planes, with their own strides.
    const int strideY = W + 40;
    const int strideC = W / 2 + 20;
    Bytes y(size_t(strideY) * H, 0xEE), u(size_t(strideC) * H / 2, 0xEE), v(u);
    CamI420Image image;
    image.width = W;
    image.height = H;
    image.strideY = strideY;
    image.strideU = strideC;
    image.strideV = strideC;
    image.y = y.data();
    image.u = u.data();
    image.v = v.data();
    booth->setRotation(2);
    QCOMPARE(booth->convertFrameScaled(sample.data(), &len, &image), 0);
    for (int row = 0; row < H; ++row) {
        QVERIFY(std::equal(y.begin() + row * strideY, y.begin() + row * strideY + W,
                           expected.begin() + row * W));
        QCOMPARE(y[size_t(row) * strideY + W], uchar(0xEE));
    }
    for (int row = 0; row < H / 2; ++row) {
        QVERIFY(std::equal(u.begin() + row * strideC, u.begin() + row * strideC + W / 2,
                           expected.begin() + W * H + row * W / 2));
        QVERIFY(std::equal(v.begin() + row * strideC, v.begin() + row * strideC + W / 2,
                           expected.begin() + W * H * 5 / 4 + row * W / 2));
    }

    CamI420Image broken = image;
    broken.u = nullptr;
    QCOMPARE(booth->convertFrameScaled(sample.data(), &len, &broken), -1);
}

void TestKvBoothConvert::scaledRotation_data()
{
    // A 1280 x 720 picture, bright above and dark below, into a 640 x 640
    // destination: the luma at four points across the middle, along the
    // axis on which the picture lies after turning.
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("horizontal");
    QTest::addColumn<QVector<int>>("luma");
    QTest::newRow("0") << 0 << false << QVector<int>{16, 200, 50, 16};
    QTest::newRow("90") << 1 << true << QVector<int>{16, 50, 200, 16};
    QTest::newRow("180") << 2 << false << QVector<int>{16, 50, 200, 16};
    QTest::newRow("270") << 3 << true << QVector<int>{16, 200, 50, 16};
    QTest::newRow("unknown code") << 5 << false << QVector<int>{16, 200, 50, 16};
}

void TestKvBoothConvert::scaledRotation()
{
    QFETCH(int, code);
    QFETCH(bool, horizontal);
    QFETCH(QVector<int>, luma);

    Bytes unused;
    std::unique_ptr<KvBooth> booth = openAndCapture("Yuy2 Cam", &unused);
    QVERIFY(booth);
    Bytes sample(size_t(W) * 2 * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            sample[size_t(y) * W * 2 + 2 * x] = y < H / 2 ? 200 : 50;
            sample[size_t(y) * W * 2 + 2 * x + 1] = 128;
        }

    const int D = 640;
    Bytes y(D * D, 0), u(D * D / 4, 0), v(D * D / 4, 0);
    CamI420Image image;
    image.width = D;
    image.height = D;
    image.strideY = D;
    image.strideU = D / 2;
    image.strideV = D / 2;
    image.y = y.data();
    image.u = u.data();
    image.v = v.data();
    booth->setRotation(code);
    int len = int(sample.size());
    QCOMPARE(booth->convertFrameScaled(sample.data(), &len, &image), 0);

    // The picture keeps its proportions (640 x 360 or 360 x 640), centred,
    // with black bands of 140 on either side.
    const int along[4] = {70, 230, 410, 570};
    for (int i = 0; i < 4; ++i) {
        const int px = horizontal ? along[i] : D / 2;
        const int py = horizontal ? D / 2 : along[i];
        QVERIFY2(std::abs(int(y[size_t(py) * D + px]) - luma[i]) <= 2,
                 qPrintable(QString("point %1: %2").arg(i).arg(y[size_t(py) * D + px])));
    }
    QVERIFY(std::all_of(u.begin(), u.end(), [](uchar b) { return b == 128; }));
    QVERIFY(std::all_of(v.begin(), v.end(), [](uchar b) { return b == 128; }));
}

namespace {

// An I420 destination of w x h in its own vectors, filled with `fill`.
struct ScaledImage
{
    ScaledImage(int w, int h, uchar fill)
        : y(size_t(w) * h, fill), u(size_t(w / 2) * (h / 2), fill), v(u)
    {
        image.width = w;
        image.height = h;
        image.strideY = w;
        image.strideU = w / 2;
        image.strideV = w / 2;
        image.y = y.data();
        image.u = u.data();
        image.v = v.data();
    }
    Bytes all() const
    {
        Bytes out(y);
        out.insert(out.end(), u.begin(), u.end());
        out.insert(out.end(), v.begin(), v.end());
        return out;
    }
    Bytes y, u, v;
    CamI420Image image;
};

} // namespace

void TestKvBoothConvert::scaledRgb24()
{
    Bytes sample;
    std::unique_ptr<KvBooth> booth = openAndCapture("Rgb Cam", &sample);
    QVERIFY(booth);
    Bytes expected(kImage);
    int len = int(sample.size());
    QCOMPARE(booth->convertFrame(sample.data(), &len, expected.data(), kImage), kImage);

    // Straight: the same picture convertFrame gives.
    ScaledImage straight(W, H, 0xEE);
    QCOMPARE(booth->convertFrameScaled(sample.data(), &len, &straight.image), 0);
    QVERIFY(straight.all() == expected);

    // Halved: the middle of each bar keeps its colour (not left green or untouched).
    ScaledImage half(W / 2, H / 2, 0xEE);
    QCOMPARE(booth->convertFrameScaled(sample.data(), &len, &half.image), 0);
    for (int bar = 0; bar < 8; ++bar) {
        const int x = W / 32 + bar * W / 16;
        const int y = H / 4;
        QVERIFY2(std::abs(int(half.y[size_t(y) * (W / 2) + x]) -
                          int(expected[size_t(2 * y) * W + 2 * x])) <= 4,
                 qPrintable(QString("bar %1").arg(bar)));
        const size_t c = size_t(y / 2) * (W / 4) + x / 2;
        const size_t e = size_t(y) * (W / 2) + x;
        QVERIFY(std::abs(int(half.u[c]) - int(expected[W * H + e])) <= 4);
        QVERIFY(std::abs(int(half.v[c]) - int(expected[W * H * 5 / 4 + e])) <= 4);
    }

    // A length other than W x H x 3 is refused and leaves the destination alone.
    ScaledImage untouched(W / 2, H / 2, 0xEE);
    int shorter = len - 3;
    QCOMPARE(booth->convertFrameScaled(sample.data(), &shorter, &untouched.image), -1);
    QVERIFY(untouched.all() == ScaledImage(W / 2, H / 2, 0xEE).all());
}

void TestKvBoothConvert::scaledFailures()
{
    Bytes sample;
    std::unique_ptr<KvBooth> booth = openAndCapture("Mjpg Cam", &sample);
    QVERIFY(booth);

    // A good frame first, so a refused one cannot pass for it.
    ScaledImage half(W / 2, H / 2, 0xEE);
    int len = int(sample.size());
    QCOMPARE(booth->convertFrameScaled(sample.data(), &len, &half.image), 0);
    const Bytes good = half.all();
    Bytes garbage(4096, 0x5A);
    len = int(garbage.size());
    QCOMPARE(booth->convertFrameScaled(garbage.data(), &len, &half.image), -1);
    QVERIFY(half.all() == good);

    ScaledImage straight(W, H, 0xEE);
    QCOMPARE(booth->convertFrameScaled(garbage.data(), &len, &straight.image), -1);
    QCOMPARE(booth->convertFrameScaled(nullptr, &len, &straight.image), -1);
    QCOMPARE(booth->convertFrameScaled(sample.data(), nullptr, &straight.image), -1);
    len = 0;
    QCOMPARE(booth->convertFrameScaled(sample.data(), &len, &half.image), -1);
    QVERIFY(half.all() == good);

    // A YUY2 sample too short for its rows.
    std::unique_ptr<KvBooth> yuy2 = openAndCapture("Yuy2 Cam", &sample);
    QVERIFY(yuy2);
    len = W * 2 * H - 1;
    QCOMPARE(yuy2->convertFrameScaled(sample.data(), &len, &straight.image), -1);
    QCOMPARE(yuy2->convertFrameScaled(sample.data(), &len, &half.image), -1);
    QVERIFY(half.all() == good);
}

QTEST_GUILESS_MAIN(TestKvBoothConvert)
#include "tst_kvboothconvert.moc"
