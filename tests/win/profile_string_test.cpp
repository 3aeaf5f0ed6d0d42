// The system's own profile functions against the rows the packer's INI reader is
// tested with on the host: what the launcher reads is what the packer reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include "profile_cases.h"
#include "test_support.h"

namespace {

using velmor::test::ProfileCase;

class ProfileStringTest : public testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileStringTest, ReadsAsPackerReaderExpects)
{
    const ProfileCase &c = GetParam();
    velmor::test::ScratchFolder folder;
    std::string path = folder / "INSTALL.CFG";
    velmor::test::WriteWholeFile(path, velmor::test::ProfileCaseBytes(c));
    std::string result(c.size, '#');
    DWORD count = GetPrivateProfileStringA(c.section, c.key, nullptr, &result[0], c.size, path.c_str());
    EXPECT_STREQ(result.c_str(), c.value);
    EXPECT_EQ(count, std::string(c.value).size());
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileStringTest, testing::ValuesIn(velmor::test::kProfileCases),
                         [](const testing::TestParamInfo<ProfileCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
