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

CivilTime CivilFromUnix(int64_t seconds)
{
    constexpr int64_t kSecondsPerDay = 86400;
    int64_t days = seconds / kSecondsPerDay;
    int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    CivilTime civil;
    civil.hour = static_cast<unsigned>(rest / 3600);
    civil.minute = static_cast<unsigned>(rest / 60 % 60);
    civil.second = static_cast<unsigned>(rest % 60);
    // Days since 1970-01-01 as a date: counted in eras of 400 years (146,097 days)
    // from 0000-03-01, so that the leap day ends each counted year.
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    civil.day = static_cast<unsigned>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    civil.month = static_cast<unsigned>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    civil.year = yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0);
    return civil;
}

} // namespace velmor
