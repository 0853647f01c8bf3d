#include "probe.h"

#include "venc.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

struct CodecRow
{
    int codecId;
    int resultBit;
    const char *name;
};

// Probing and printing order. The bits are the tool's own and do not follow
// the rows.
const CodecRow kCodecs[] = {
    {1, 0x1, "NVIDIA H264/AVC Codec"},
    {2, 0x4, "INTEL H264/AVC Codec"},
    {3, 0x2, "NVIDIA H265/HEVC Codec"},
    {4, 0x8, "INTEL H265/HEVC Codec"},
};

// Kept for the whole run; only the ten fields are rewritten before each probe.
VideoEncoderParams g_params;
bool g_paramsCleared = false;

void prepareParams()
{
    if (!g_paramsCleared) {
        std::memset(&g_params, 0, sizeof g_params);
        g_paramsCleared = true;
    }
    g_params.height = 720;
    g_params.width = 1280;
    g_params.frameRate = 15;
    g_params.gopSize = 25;
    g_params.maxBFrames = 2;
    g_params.refFrames = 2;
    g_params.bitRateKbps = 1500;
    g_params.maxBitRateKbps = 1500;
    g_params.bufferSizeKbits = 1500;
    g_params.rateControl = 1;
}

} // namespace

int probeCodec(int *mask, int codecId)
{
    const CodecRow *row = nullptr;
    for (const CodecRow &r : kCodecs) {
        if (r.codecId == codecId) {
            row = &r;
            break;
        }
    }
    if (!row)
        return kProbeUnknownCodec;

    prepareParams();

    VideoEncoder *encoder = nullptr;
    const int created = XeCreateVideoEncoder(codecId, &encoder);
    if (created != 0 || !encoder) {
        std::printf(" -- [%s] not support. ret = %d\n", row->name, created);
        return created;
    }

    encoder->setParams(&g_params);
    if (encoder->initEncoder()) {
        encoder->closeEncoder();
        XeReleaseVideoEncoder(encoder);
        if (mask)
            *mask |= row->resultBit;
        std::printf(" -- [%s] support.\n", row->name);
        return 0;
    }

    // The text belongs to the encoder and ends with it.
    const char *text = encoder->errorMessage();
    const std::string reason = text ? text : "";
    encoder->closeEncoder();
    XeReleaseVideoEncoder(encoder);
    std::printf(" -- [%s] not support parameters. err msg: %s\n", row->name, reason.c_str());
    return kProbeParamsRefused;
}

int probeAllCodecs()
{
    int mask = 0;
    for (const CodecRow &row : kCodecs) {
        probeCodec(&mask, row.codecId);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("ret = 0x%08X\n\n", static_cast<unsigned>(mask));
    for (const CodecRow &row : kCodecs)
        std::printf((mask & row.resultBit) ? "%s support\n" : "%s not support\n", row.name);
    return mask;
}
