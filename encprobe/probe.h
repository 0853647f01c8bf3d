// Probing the hardware encoders of libvenc.
#ifndef ENCPROBE_PROBE_H
#define ENCPROBE_PROBE_H

// Result codes of probeCodec besides 0 (supported) and the non-zero results
// of XeCreateVideoEncoder, which are passed on unchanged.
constexpr int kProbeParamsRefused = 0x100002;
constexpr int kProbeUnknownCodec = 0x100004;

// Probes one encoder by codec id and prints its line. When mask is given the
// encoder's bit is ORed into it on success.
int probeCodec(int *mask, int codecId);

// Probes every encoder in table order, prints the mask line and the summary,
// and returns the mask of the supported encoders.
int probeAllCodecs();

#endif
