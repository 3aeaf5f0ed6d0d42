#ifndef VELMOR_FILETIME_H
#define VELMOR_FILETIME_H

#include <cstdint>

namespace velmor {

// The latest Unix time a FILETIME holds as Windows takes it (under 2^63 ticks, in
// the year 30828).
constexpr int64_t kLatestFileTimeUnix = 910692730085LL;

// Whether SetFileTime takes the FILETIME: it refuses 2^63 ticks and more. (Zero it
// takes as "leave this time as it is".)
constexpr bool IsSettableFileTime(uint64_t fileTime)
{
    return fileTime < (uint64_t(1) << 63);
}

// Windows FILETIME (100-ns intervals since 1601-01-01 UTC) for a Unix time. Times
// before 1601 give 0; seconds must not be over kLatestFileTimeUnix.
uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);

// Unix seconds (and the nanoseconds through the second argument) for a FILETIME.
int64_t UnixFromFileTime(uint64_t fileTime, uint32_t *nanoseconds = nullptr);

// A moment in the proleptic Gregorian calendar, UTC.
struct CivilTime {
    int64_t year = 1970;
    unsigned month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The date and time of a Unix time, for any FILETIME; the same on every system,
// whatever range its C library's calendar covers.
CivilTime CivilFromUnix(int64_t seconds);

} // namespace velmor

#endif
