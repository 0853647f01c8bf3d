#include "fflogcapture.h"
#include "ffvideoencoder.h"
#include "venc.h"

#include <QtTest>

#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

namespace {

VideoEncoderParams smallParams()
{
    VideoEncoderParams p;
    std::memset(&p, 0, sizeof p);
    p.height = 240;
    p.width = 320;
    p.frameRate = 15;
    p.gopSize = 25;
    p.maxBFrames = 0;
    p.refFrames = 1;
    p.bitRateKbps = 2000;
    p.maxBitRateKbps = 2000;
    p.bufferSizeKbits = 2000;
    p.rateControl = VENC_RC_VBR;
    return p;
}

std::vector<uint8_t> flatFrame(int w, int h, uint8_t y, uint8_t u, uint8_t v)
{
    std::vector<uint8_t> f(size_t(w) * h * 3 / 2);
    std::memset(f.data(), y, size_t(w) * h);
    std::memset(f.data() + size_t(w) * h, u, size_t(w) * h / 4);
    std::memset(f.data() + size_t(w) * h * 5 / 4, v, size_t(w) * h / 4);
    return f;
}

struct Packet
{
    QByteArray data;
    int64_t pts;
    bool key;
};

// Fetches every packet that is ready; returns the last non-packet result.
int drainPackets(VideoEncoder &enc, std::vector<Packet> &out)
{
    for (;;) {
        const uint8_t *data = nullptr;
        int size = 0, flags = 0;
        int64_t pts = -1;
        const int r = enc.receivePacket(&data, &size, &pts, &flags);
        if (r != VENC_OK)
            return r;
        out.push_back({QByteArray(reinterpret_cast<const char *>(data), size), pts,
                       (flags & VENC_PACKET_KEY) != 0});
    }
}

double planeMean(const uint8_t *plane, int linesize, int w, int h)
{
    double sum = 0;
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x)
            sum += plane[row * linesize + x];
    return sum / (double(w) * h);
}

} // namespace

class TestLibVenc : public QObject
{
    Q_OBJECT

private slots:
    void operationsSitAtTheirTablePositions();
    void createRefusesBadArguments();
    void hardwareEncodersAnswerWithTheirReason_data();
    void hardwareEncodersAnswerWithTheirReason();
    void openFailureCarriesTheEncodersLog();
    void parametersAreValidated();
    void encodesFramesWithForcedKeyFrame();
    void planesReachTheEncoderInOrder();
    void logCaptureJoinsLinesAndNests();
};

// Stand-ins are called by virtual-table position, not by name.
template <typename Method> std::ptrdiff_t slotOf(Method method)
{
    // Itanium C++ ABI: a pointer to a virtual member holds 1 + the byte
    // offset of its slot.
    std::ptrdiff_t raw;
    static_assert(sizeof(method) >= sizeof(raw), "member pointer layout");
    std::memcpy(&raw, &method, sizeof raw);
    return (raw - 1) / std::ptrdiff_t(sizeof(void *)) + 1;
}

void TestLibVenc::operationsSitAtTheirTablePositions()
{
    QCOMPARE(slotOf(&VideoEncoder::setParams), std::ptrdiff_t(3));
    QCOMPARE(slotOf(&VideoEncoder::initEncoder), std::ptrdiff_t(7));
    QCOMPARE(slotOf(&VideoEncoder::closeEncoder), std::ptrdiff_t(10));
    QCOMPARE(slotOf(&VideoEncoder::errorMessage), std::ptrdiff_t(11));
    QVERIFY(!std::has_virtual_destructor<VideoEncoder>::value);
}

void TestLibVenc::createRefusesBadArguments()
{
    QCOMPARE(XeCreateVideoEncoder(1, nullptr), int(VENC_ERR_ARGUMENT));
    for (int id : {0, 5, -1, 0x7fffffff}) {
        VideoEncoder *enc = reinterpret_cast<VideoEncoder *>(this);
        QCOMPARE(XeCreateVideoEncoder(id, &enc), int(VENC_ERR_UNKNOWN_CODEC));
        QVERIFY(enc == nullptr);
    }
    XeReleaseVideoEncoder(nullptr);
}

void TestLibVenc::hardwareEncodersAnswerWithTheirReason_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("h264_nvenc") << 1 << "h264_nvenc";
    QTest::newRow("h264_qsv") << 2 << "h264_qsv";
    QTest::newRow("hevc_nvenc") << 3 << "hevc_nvenc";
    QTest::newRow("hevc_qsv") << 4 << "hevc_qsv";
}

void TestLibVenc::hardwareEncodersAnswerWithTheirReason()
{
    QFETCH(int, id);
    QFETCH(QString, name);
    VideoEncoder *enc = nullptr;
    const int created = XeCreateVideoEncoder(id, &enc);
    if (created == VENC_ERR_NO_ENCODER) {
        QVERIFY(enc == nullptr);
        QSKIP("encoder not built into this libavcodec");
    }
    QCOMPARE(created, int(VENC_OK));
    QVERIFY(enc);
    QCOMPARE(enc->codecId(), id);
    QCOMPARE(QString(enc->encoderName()), name);

    QVERIFY(!enc->initEncoder());
    QCOMPARE(QString(enc->errorMessage()), QString("no parameters set"));

    VideoEncoderParams p = smallParams();
    p.height = 720;
    p.width = 1280;
    p.rateControl = VENC_RC_CBR;
    QCOMPARE(enc->setParams(&p), int(VENC_OK));
    QCOMPARE(enc->frameRate(), 15);
    if (enc->initEncoder()) {
        enc->closeEncoder();
    } else {
        // The reason names the encoder and says more than that it failed.
        const QString why = enc->errorMessage();
        QVERIFY2(why.startsWith(name + " cannot be opened: "), qPrintable(why));
        QVERIFY2(why.size() > name.size() + 20, qPrintable(why));
        enc->closeEncoder();
        QCOMPARE(QString(enc->errorMessage()), why);
    }
    QCOMPARE(enc->encodeFrame(nullptr, 0, 0), int(VENC_ERR_STATE));
    XeReleaseVideoEncoder(enc);
}

void TestLibVenc::openFailureCarriesTheEncodersLog()
{
    FfVideoEncoder enc(99, avcodec_find_encoder_by_name("mpeg4"));
    VideoEncoderParams p = smallParams();
    p.width = 10000; // beyond what the MPEG-4 encoder can code
    QCOMPARE(enc.setParams(&p), int(VENC_OK));
    QVERIFY(!enc.initEncoder());
    const QString why = enc.errorMessage();
    QVERIFY2(why.startsWith("mpeg4 cannot be opened: "), qPrintable(why));
    QVERIFY2(why.contains("(dimensions too large for MPEG-4)"), qPrintable(why));
    QCOMPARE(enc.pixelFormat(), -1);

    // The encoder recovers with usable parameters.
    QCOMPARE(enc.setParams(&(p = smallParams())), int(VENC_OK));
    QVERIFY2(enc.initEncoder(), enc.errorMessage());
    QCOMPARE(QString(enc.errorMessage()), QString());
}

void TestLibVenc::parametersAreValidated()
{
    FfVideoEncoder enc(99, avcodec_find_encoder_by_name("mpeg4"));
    QCOMPARE(enc.setParams(nullptr), int(VENC_ERR_ARGUMENT));
    QCOMPARE(enc.setBitRate(1000, 1000), int(VENC_ERR_STATE));
    QCOMPARE(enc.forceKeyFrame(), int(VENC_ERR_STATE));
    QCOMPARE(enc.frameRate(), 0);

    const VideoEncoderParams good = smallParams();
    VideoEncoderParams bad[6] = {good, good, good, good, good, good};
    bad[0].width = 321;
    bad[1].height = 0;
    bad[2].frameRate = 0;
    bad[3].bitRateKbps = -5;
    bad[4].rateControl = 7;
    bad[5].maxBFrames = 1000;
    for (const VideoEncoderParams &p : bad) {
        QCOMPARE(enc.setParams(&p), int(VENC_ERR_ARGUMENT));
        QVERIFY(QString(enc.errorMessage()).startsWith("invalid parameters: "));
    }
    QVERIFY(!enc.initEncoder()); // none of them was taken

    QCOMPARE(enc.setParams(&good), int(VENC_OK));
    QVERIFY2(enc.initEncoder(), enc.errorMessage());
    QVERIFY(!enc.initEncoder());
    QCOMPARE(enc.setParams(&good), int(VENC_ERR_STATE));
    QCOMPARE(enc.setBitRate(0, 0), int(VENC_ERR_ARGUMENT));
    QCOMPARE(enc.setBitRate(800, 1000), int(VENC_OK));

    const std::vector<uint8_t> frame = flatFrame(320, 240, 16, 128, 128);
    QCOMPARE(enc.encodeFrame(frame.data(), int(frame.size()) - 1, 0), int(VENC_ERR_ARGUMENT));
    const uint8_t *data = nullptr;
    int size = 0;
    QCOMPARE(enc.receivePacket(nullptr, &size, nullptr, nullptr), int(VENC_ERR_ARGUMENT));
    QCOMPARE(enc.receivePacket(&data, &size, nullptr, nullptr), int(VENC_ERR_AGAIN));
    enc.closeEncoder();
    enc.closeEncoder();
    QCOMPARE(enc.receivePacket(&data, &size, nullptr, nullptr), int(VENC_ERR_STATE));
}

void TestLibVenc::encodesFramesWithForcedKeyFrame()
{
    FfVideoEncoder enc(99, avcodec_find_encoder_by_name("mpeg4"));
    const VideoEncoderParams p = smallParams();
    QCOMPARE(enc.setParams(&p), int(VENC_OK));
    QVERIFY2(enc.initEncoder(), enc.errorMessage());
    QCOMPARE(enc.pixelFormat(), int(AV_PIX_FMT_YUV420P));

    std::vector<Packet> packets;
    for (int i = 0; i < 10; ++i) {
        const std::vector<uint8_t> frame = flatFrame(320, 240, 80, 100, 150);
        if (i == 5)
            QCOMPARE(enc.forceKeyFrame(), int(VENC_OK));
        QCOMPARE(enc.encodeFrame(frame.data(), int(frame.size()), i), int(VENC_OK));
        QCOMPARE(drainPackets(enc, packets), int(VENC_ERR_AGAIN));
    }
    QCOMPARE(enc.encodeFrame(nullptr, 0, 0), int(VENC_OK));
    QCOMPARE(drainPackets(enc, packets), int(VENC_ERR_EOF));

    QCOMPARE(int(packets.size()), 10);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(packets[i].pts, int64_t(i));
        QVERIFY(!packets[i].data.isEmpty());
        QVERIFY2(packets[i].key == (i == 0 || i == 5), qPrintable(QString::number(i)));
    }
    enc.closeEncoder();
}

void TestLibVenc::planesReachTheEncoderInOrder()
{
    // Encode one flat frame and decode it again: Y, U and V must come back
    // where they were put.
    FfVideoEncoder enc(99, avcodec_find_encoder_by_name("mpeg4"));
    VideoEncoderParams p = smallParams();
    p.bitRateKbps = p.maxBitRateKbps = 8000;
    QCOMPARE(enc.setParams(&p), int(VENC_OK));
    QVERIFY2(enc.initEncoder(), enc.errorMessage());
    const std::vector<uint8_t> frame = flatFrame(320, 240, 60, 90, 200);
    QCOMPARE(enc.encodeFrame(frame.data(), int(frame.size()), 0), int(VENC_OK));
    QCOMPARE(enc.encodeFrame(nullptr, 0, 0), int(VENC_OK));
    std::vector<Packet> packets;
    QCOMPARE(drainPackets(enc, packets), int(VENC_ERR_EOF));
    QCOMPARE(int(packets.size()), 1);

    const AVCodec *decoder = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext *dec = avcodec_alloc_context3(decoder);
    QVERIFY(avcodec_open2(dec, decoder, nullptr) == 0);
    AVPacket *pkt = av_packet_alloc();
    AVFrame *out = av_frame_alloc();
    QVERIFY(av_new_packet(pkt, packets[0].data.size()) == 0);
    std::memcpy(pkt->data, packets[0].data.constData(), size_t(packets[0].data.size()));
    QCOMPARE(avcodec_send_packet(dec, pkt), 0);
    QCOMPARE(avcodec_send_packet(dec, nullptr), 0);
    const int got = avcodec_receive_frame(dec, out);
    double y = 0, u = 0, v = 0;
    if (got == 0) {
        y = planeMean(out->data[0], out->linesize[0], 320, 240);
        u = planeMean(out->data[1], out->linesize[1], 160, 120);
        v = planeMean(out->data[2], out->linesize[2], 160, 120);
    }
    av_frame_free(&out);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    QCOMPARE(got, 0);
    QVERIFY2(qAbs(y - 60) < 3 && qAbs(u - 90) < 3 && qAbs(v - 200) < 3,
             qPrintable(QString("Y %1 U %2 V %3").arg(y).arg(u).arg(v)));
}

void TestLibVenc::logCaptureJoinsLinesAndNests()
{
    int saved = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET); // what escapes a capture stays quiet here
    {
        FfLogCapture outer;
        av_log(nullptr, AV_LOG_ERROR, "first %s ", "part");
        av_log(nullptr, AV_LOG_ERROR, "continued\n");
        av_log(nullptr, AV_LOG_INFO, "not a problem\n");
        {
            FfLogCapture inner;
            av_log(nullptr, AV_LOG_WARNING, "inner\n");
            QCOMPARE(QString(inner.text()), QString("inner"));
        }
        av_log(nullptr, AV_LOG_WARNING, "second\n");
        QCOMPARE(QString(outer.text()), QString("first part continued; second"));
    }
    FfLogCapture later;
    QVERIFY(later.empty());
    // A flood is cut, never overrun.
    const std::string line(300, 'x');
    for (int i = 0; i < 20; ++i)
        av_log(nullptr, AV_LOG_ERROR, "%s\n", line.c_str());
    QVERIFY(std::strlen(later.text()) < 2048);
    QVERIFY(QString(later.text()).startsWith(QString::fromStdString(line + "; " + line)));
    av_log_set_level(saved);
}

QTEST_GUILESS_MAIN(TestLibVenc)
#include "tst_libvenc.moc"
