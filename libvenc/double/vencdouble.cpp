// A scripted stand-in for libvenc.so, for tests of its callers.
//
// VENC_DOUBLE_SCRIPT tells how each codec id answers, entries separated by ';':
//   <id>=ok             created, accepts the parameters
//   <id>=refuse:<text>  created, refuses them with errorMessage() = <text>
//   <id>=fail:<n>       XeCreateVideoEncoder returns <n> and no object
//   <id>=null           XeCreateVideoEncoder returns 0 and no object
// Ids not in the script fail with VENC_ERR_UNKNOWN_CODEC.
//
// VENC_DOUBLE_LOG names a file to which every call is appended as one line:
//   create <id> <result> <object|null>
//   setParams <id> <hex of the 1064 bytes|null>
//   init <id> <1|0>, errorMessage <id>, close <id>, release <id>, <operation> <id>
// A create while another double encoder is alive also logs "overlap <id>".
#include "venc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int g_alive = 0;

void logLine(const std::string &line)
{
    const char *path = std::getenv("VENC_DOUBLE_LOG");
    if (!path || !*path)
        return;
    if (FILE *f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

struct Answer
{
    enum Kind { Unknown, Ok, Refuse, Fail, Null } kind = Unknown;
    int result = VENC_ERR_UNKNOWN_CODEC;
    std::string text;
};

Answer scriptedAnswer(int codecId)
{
    Answer answer;
    const char *env = std::getenv("VENC_DOUBLE_SCRIPT");
    std::string script = env ? env : "";
    std::size_t pos = 0;
    while (pos <= script.size()) {
        std::size_t end = script.find(';', pos);
        if (end == std::string::npos)
            end = script.size();
        const std::string entry = script.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t eq = entry.find('=');
        if (eq == std::string::npos || std::atoi(entry.substr(0, eq).c_str()) != codecId)
            continue;
        const std::string what = entry.substr(eq + 1);
        if (what == "ok") {
            answer.kind = Answer::Ok;
        } else if (what == "null") {
            answer.kind = Answer::Null;
        } else if (what.rfind("refuse:", 0) == 0) {
            answer.kind = Answer::Refuse;
            answer.text = what.substr(7);
        } else if (what.rfind("fail:", 0) == 0) {
            answer.kind = Answer::Fail;
            answer.result = std::atoi(what.c_str() + 5);
        }
        break;
    }
    return answer;
}

class DoubleEncoder final : public VideoEncoder
{
public:
    DoubleEncoder(int codecId, const Answer &answer) : id_(codecId), answer_(answer)
    {
        ++g_alive;
        message_ = answer.kind == Answer::Refuse ? answer.text : std::string();
    }
    ~DoubleEncoder() { --g_alive; }
    int id() const { return id_; }

    int codecId() override { return note("codecId"), id_; }
    const char *encoderName() override { return note("encoderName"), "double"; }
    int setParams(const void *params) override
    {
        std::string line = "setParams " + std::to_string(id_) + " ";
        if (!params) {
            line += "null";
        } else {
            const unsigned char *bytes = static_cast<const unsigned char *>(params);
            char hex[3];
            for (std::size_t i = 0; i < sizeof(VideoEncoderParams); ++i) {
                std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
                line += hex;
            }
        }
        logLine(line);
        return VENC_OK;
    }
    int setBitRate(int, int) override { return note("setBitRate"), VENC_OK; }
    int forceKeyFrame() override { return note("forceKeyFrame"), VENC_OK; }
    int frameRate() override { return note("frameRate"), 0; }
    bool initEncoder() override
    {
        const bool accepted = answer_.kind == Answer::Ok;
        logLine("init " + std::to_string(id_) + (accepted ? " 1" : " 0"));
        return accepted;
    }
    int encodeFrame(const uint8_t *, int, int64_t) override
    {
        return note("encodeFrame"), VENC_ERR_STATE;
    }
    int receivePacket(const uint8_t **, int *, int64_t *, int *) override
    {
        return note("receivePacket"), VENC_ERR_STATE;
    }
    void closeEncoder() override
    {
        note("close");
        // A caller that kept the pointer instead of a copy reads this.
        message_.assign(message_.size(), '#');
    }
    const char *errorMessage() override { return note("errorMessage"), message_.c_str(); }

private:
    void note(const char *op) { logLine(std::string(op) + " " + std::to_string(id_)); }

    int id_;
    Answer answer_;
    std::string message_;
};

} // namespace

extern "C" VENC_API int XeCreateVideoEncoder(int codecId, VideoEncoder **encoder)
{
    if (!encoder)
        return VENC_ERR_ARGUMENT;
    *encoder = nullptr;
    const Answer answer = scriptedAnswer(codecId);
    if (g_alive > 0)
        logLine("overlap " + std::to_string(codecId));
    int result = answer.result;
    if (answer.kind == Answer::Ok || answer.kind == Answer::Refuse) {
        *encoder = new DoubleEncoder(codecId, answer);
        result = VENC_OK;
    } else if (answer.kind == Answer::Null) {
        result = VENC_OK;
    }
    logLine("create " + std::to_string(codecId) + " " + std::to_string(result) +
            (*encoder ? " object" : " null"));
    return result;
}

extern "C" VENC_API void XeReleaseVideoEncoder(VideoEncoder *encoder)
{
    if (!encoder)
        return;
    DoubleEncoder *e = static_cast<DoubleEncoder *>(encoder);
    logLine("release " + std::to_string(e->id()));
    delete e;
}
