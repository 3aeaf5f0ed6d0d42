// The packer's INI reader against the rows the Windows-side tests check on the
// system's own profile functions.
#include <gtest/gtest.h>

#include <string>
#include "profile_cases.h"
#include "profile_file.h"

namespace {

using velmor::test::ProfileCase;

class ProfileFileTest : public testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileFileTest, ReadsAsProfileFunctionsDo)
{
    const ProfileCase &c = GetParam();
    velmor::ProfileFile file =
        velmor::ProfileFile::Parse(velmor::ProfileFile::TextForNt(velmor::test::ProfileCaseBytes(c), 1252));
    std::string result(c.size, '#');
    unsigned count = velmor::ReadProfileString(file, c.section, c.key, &result[0], c.size);
    EXPECT_STREQ(result.c_str(), c.value);
    EXPECT_EQ(count, std::string(c.value).size());
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileFileTest, testing::ValuesIn(velmor::test::kProfileCases),
                         [](const testing::TestParamInfo<ProfileCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(ProfileFileReadTest, ZeroByteInValueEndsIt)
{
    velmor::ProfileFile file = velmor::ProfileFile::Parse(std::string("[S]\nk=ab\0cd\n", 12));
    char result[16];
    EXPECT_EQ(velmor::ReadProfileString(file, "S", "k", result, sizeof result), 2u);
    EXPECT_STREQ(result, "ab");
}

TEST(ProfileFileReadTest, FindTellsMissingFromEmpty)
{
    velmor::ProfileFile file = velmor::ProfileFile::Parse("[S]\nempty=\nbare\n");
    EXPECT_EQ(file.Find("S", "empty"), std::string());
    EXPECT_EQ(file.Find("S", "bare"), std::string());
    EXPECT_EQ(file.Find("S", "missing"), std::nullopt);
    EXPECT_EQ(file.Find("T", "empty"), std::nullopt);
}

} // namespace
