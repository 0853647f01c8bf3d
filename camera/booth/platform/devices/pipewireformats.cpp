#include "pipewireformats.h"

#include "v4l2formats.h"

#include <spa/param/format.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/pod/iter.h>

#include <linux/videodev2.h>

#include <algorithm>

namespace kvplat {

namespace {

// The values a property offers: a plain value, or every alternative of an enum choice (its
// first value, the default, repeats one of them), or the two ends of a range.
template <typename T> std::vector<T> offeredValues(const spa_pod *pod, uint32_t type, bool *isRange)
{
    std::vector<T> values;
    *isRange = false;
    uint32_t count = 0, choice = 0;
    const spa_pod *child = spa_pod_get_values(pod, &count, &choice);
    if (!child || child->type != type || child->size < sizeof(T))
        return values;
    const auto *items = static_cast<const T *>(SPA_POD_BODY_CONST(child));
    switch (choice) {
    case SPA_CHOICE_None:
        if (count >= 1)
            values.push_back(items[0]);
        break;
    case SPA_CHOICE_Enum:
        for (uint32_t i = count > 1 ? 1 : 0; i < count; ++i)
            values.push_back(items[i]);
        break;
    case SPA_CHOICE_Range:
    case SPA_CHOICE_Step:
        if (count >= 3) {
            values.push_back(items[1]);
            values.push_back(items[2]);
            *isRange = true;
        }
        break;
    default:
        break;
    }
    return values;
}

bool sampleFormatOf(uint32_t subtype, uint32_t videoFormat, SampleFormat *format)
{
    if (subtype == SPA_MEDIA_SUBTYPE_mjpg) {
        *format = SampleFormat::Mjpg;
        return true;
    }
    if (subtype != SPA_MEDIA_SUBTYPE_raw)
        return false;
    switch (videoFormat) {
    case SPA_VIDEO_FORMAT_YUY2:
        *format = SampleFormat::Yuy2;
        return true;
    case SPA_VIDEO_FORMAT_NV12:
        *format = SampleFormat::Nv12;
        return true;
    case SPA_VIDEO_FORMAT_I420:
        *format = SampleFormat::I420;
        return true;
    case SPA_VIDEO_FORMAT_BGR: // bytes blue, green, red: the booth's 24-bit RGB
        *format = SampleFormat::Rgb24;
        return true;
    default:
        return false;
    }
}

bool faster(const spa_fraction &a, const spa_fraction &b)
{
    return uint64_t(a.num) * b.denom > uint64_t(b.num) * a.denom;
}

} // namespace

void addPipeWireModes(const spa_pod *param, std::vector<PipeWireMode> *modes)
{
    if (!param || !spa_pod_is_object_type(param, SPA_TYPE_OBJECT_Format))
        return;
    uint32_t mediaType = 0, subtype = 0;
    if (spa_format_parse(param, &mediaType, &subtype) < 0 || mediaType != SPA_MEDIA_TYPE_video)
        return;
    std::vector<uint32_t> formats;
    std::vector<spa_rectangle> sizes;
    bool sizeRange = false;
    spa_fraction best = {0, 0};
    const auto *object = reinterpret_cast<const spa_pod_object *>(param);
    const spa_pod_prop *prop;
    SPA_POD_OBJECT_FOREACH(object, prop)
    {
        bool range = false;
        switch (prop->key) {
        case SPA_FORMAT_VIDEO_format:
            formats = offeredValues<uint32_t>(&prop->value, SPA_TYPE_Id, &range);
            if (range)
                formats.clear();
            break;
        case SPA_FORMAT_VIDEO_size:
            sizes = offeredValues<spa_rectangle>(&prop->value, SPA_TYPE_Rectangle, &sizeRange);
            break;
        case SPA_FORMAT_VIDEO_framerate:
            for (const spa_fraction &f :
                 offeredValues<spa_fraction>(&prop->value, SPA_TYPE_Fraction, &range)) {
                if (f.num > 0 && f.denom > 0 && (best.denom == 0 || faster(f, best)))
                    best = f;
            }
            break;
        default:
            break;
        }
    }
    if (subtype == SPA_MEDIA_SUBTYPE_mjpg)
        formats = {SPA_VIDEO_FORMAT_UNKNOWN};
    if (sizeRange && sizes.size() == 2) {
        v4l2_frmsize_stepwise r = {};
        r.min_width = sizes[0].width;
        r.min_height = sizes[0].height;
        r.max_width = sizes[1].width;
        r.max_height = sizes[1].height;
        r.step_width = r.step_height = 1;
        sizes.clear();
        for (const auto &s : sizesInRange(r))
            sizes.push_back({s.first, s.second});
    }
    if (best.denom == 0)
        best = {30, 1};
    for (uint32_t videoFormat : formats) {
        SampleFormat sample;
        if (!sampleFormatOf(subtype, videoFormat, &sample))
            continue;
        for (const spa_rectangle &size : sizes) {
            // Sizes the booth's conversions and the media types cannot hold are left out.
            if (size.width < 2 || size.height < 2 || size.width > 8192 || size.height > 8192 ||
                (size.width & 1))
                continue;
            PipeWireMode mode;
            mode.mediaSubtype = subtype;
            mode.videoFormat = videoFormat;
            mode.rateNum = best.num;
            mode.rateDenom = best.denom;
            mode.format.format = sample;
            mode.format.width = int(size.width);
            mode.format.height = int(size.height);
            mode.format.frameInterval =
                REFERENCE_TIME(uint64_t(best.denom) * 10000000ULL / best.num);
            mode.format.topDown = sample == SampleFormat::Rgb24;
            auto same = std::find_if(modes->begin(), modes->end(), [&](const PipeWireMode &m) {
                return m.format.format == sample && m.format.width == mode.format.width &&
                       m.format.height == mode.format.height;
            });
            if (same == modes->end()) {
                modes->push_back(mode);
            } else if (faster(best, {same->rateNum, same->rateDenom})) {
                *same = mode;
            }
        }
    }
}

const spa_pod *buildPipeWireFormat(spa_pod_builder *builder, const PipeWireMode &mode)
{
    const spa_rectangle size = {uint32_t(mode.format.width), uint32_t(mode.format.height)};
    const spa_fraction rate = {mode.rateNum, mode.rateDenom};
    spa_pod_frame frame;
    spa_pod_builder_push_object(builder, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                        SPA_FORMAT_mediaSubtype, SPA_POD_Id(mode.mediaSubtype), 0);
    if (mode.mediaSubtype == SPA_MEDIA_SUBTYPE_raw)
        spa_pod_builder_add(builder, SPA_FORMAT_VIDEO_format, SPA_POD_Id(mode.videoFormat), 0);
    spa_pod_builder_add(builder, SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), 0);
    // The rate as a range up to the mode's own, so that a producer that cannot hold it still
    // negotiates.
    const spa_fraction slowest = {0, 1};
    spa_pod_builder_add(builder, SPA_FORMAT_VIDEO_framerate,
                        SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &rate), 0);
    return static_cast<const spa_pod *>(spa_pod_builder_pop(builder, &frame));
}

uint32_t v4l2PixelOf(const PipeWireMode &mode)
{
    switch (mode.format.format) {
    case SampleFormat::Mjpg:
        return V4L2_PIX_FMT_MJPEG;
    case SampleFormat::Yuy2:
        return V4L2_PIX_FMT_YUYV;
    case SampleFormat::Nv12:
        return V4L2_PIX_FMT_NV12;
    case SampleFormat::I420:
        return V4L2_PIX_FMT_YUV420;
    case SampleFormat::Rgb24:
        return V4L2_PIX_FMT_BGR24;
    }
    return 0;
}

} // namespace kvplat
