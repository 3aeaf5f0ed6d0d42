// File times as list and verify print them: the same text on every system, over the
// whole range a record's FILETIME can hold.
#include <gtest/gtest.h>
#include <cstdint>
#include "package_report.h"

namespace velmor {
namespace {

TEST(FileTimeTextTest, PrintsTheCalendarDateOfEveryFileTime)
{
    struct Case {
        uint64_t fileTime;
        const char *text;
    };
    const Case cases[] = {
        {0, "1601-01-01 00:00:00"},
        {94354848000000000ULL, "1900-01-01 00:00:00"},  // not a leap year
        {116444736000000000ULL, "1970-01-01 00:00:00"},
        {125962560000000000ULL, "2000-02-29 00:00:00"},  // a leap day of a 400th year
        {128790414909999999ULL, "2009-02-13 23:31:30"},  // a tick short of a second
        {0x7FFFFFFFFFFFFFFFULL, "30828-09-14 02:48:05"}, // the last that Windows sets
        {0xFFFFFFFFFFFFFFFFULL, "60056-05-28 05:36:10"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FileTimeText(c.fileTime), c.text) << c.fileTime;
    }
    EXPECT_EQ(FileTimeText(125962560000000000ULL, true), "2000-02-29T00:00:00Z");
}

} // namespace
} // namespace velmor
