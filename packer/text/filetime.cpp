#include "filetime.h"

namespace velmor {
namespace {
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr int64_t kTicksPerSecond = 10000000;
} // namespace

uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds)
{
    int64_t since1601 = seconds + kSecondsFrom1601To1970;
    if (since1601 < 0)
        return 0;
    return static_cast<uint64_t>(since1601) * kTicksPerSecond + nanoseconds / 100;
}

int64_t UnixFromFileTime(uint64_t fileTime, uint32_t *nanoseconds)
{
    if (nanoseconds)
        *nanoseconds = static_cast<uint32_t>(fileTime % kTicksPerSecond) * 100;
    return static_cast<int64_t>(fileTime / kTicksPerSecond) - kSecondsFrom1601To1970;
}

} // namespace velmor
