// encprobe: reports which hardware encoders of libvenc accept our parameters.
//
//   encprobe          probe all encoders; exit code is the mask of the supported ones
//   encprobe -all     the same
//   encprobe <id>     probe one encoder; exit code is its result code
//   anything else     exit code -1
#include "probe.h"

#include <climits>
#include <cstring>

namespace {

// The codec id from the argument's leading decimal digits. A value too large
// for an int cannot be in the codec table, so it becomes an id that is not.
int leadingCodecId(const char *arg)
{
    long long value = 0;
    for (const char *p = arg; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX)
            return -1;
    }
    return static_cast<int>(value);
}

} // namespace

int main(int argc, char **argv)
{
    // Windows' fault-dialog error mode (SetErrorMode) has no counterpart on Linux.
    if (argc < 2)
        return probeAllCodecs();
    const char *arg = argv[1];
    if (arg[0] >= '0' && arg[0] <= '9')
        return probeCodec(nullptr, leadingCodecId(arg));
    if (std::strcmp(arg, "-all") == 0)
        return probeAllCodecs();
    return -1;
}
