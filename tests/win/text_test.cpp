// The bounded path join of the Windows programs' text helpers.
#include <gtest/gtest.h>
#include <string>
#include "text.h"

namespace {

TEST(TextTest, JoinPathPutsOneBackslashBetweenTheParts)
{
    const std::string level(100, 'D');
    const std::string fills(255 - 1 - 100, 'N');  // with level and the backslash: 255
    struct Case {
        std::string directory;
        std::string name;
        int joined;
        std::string path;
    } cases[] = {
        {"C:\\Setup", "A.TXT", 1, "C:\\Setup\\A.TXT"},
        {"C:\\Setup\\", "A.TXT", 1, "C:\\Setup\\A.TXT"},
        {"C:\\", "A.TXT", 1, "C:\\A.TXT"},
        {"C:", "A.TXT", 1, "C:\\A.TXT"},
        {"", "A.TXT", 1, "A.TXT"},
        {"C:\\Setup", "", 1, "C:\\Setup\\"},
        {"C:\\Setup", "Sub\\A.TXT", 1, "C:\\Setup\\Sub\\A.TXT"},
        {level, fills, 1, level + "\\" + fills},
        {level, fills + "N", 0, ""},
        {level + "\\", fills + "N", 0, ""},
        {std::string(255, 'D'), "A", 0, ""},
        {std::string(256, 'D'), "", 0, ""},
    };
    for (const Case &c : cases) {
        char dest[256];
        EXPECT_EQ(JoinPath(dest, sizeof dest, c.directory.c_str(), c.name.c_str()), c.joined)
            << c.directory << " + " << c.name;
        if (c.joined)
            EXPECT_EQ(std::string(dest), c.path);
    }
}

} // namespace
