// Windows' own check of a package signed by velmor-pack sign (make-signed-packages.sh):
// WinVerifyTrust with the Authenticode policy, as Explorer and SmartScreen ask it.
// The signer is a throw-away certificate that no root vouches for, so the chain's
// verdict depends on the host (Wine 8 accepts it; Windows is expected to answer
// CERT_E_UNTRUSTEDROOT); the signature's digest must hold on both.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstddef>
#include <cstdio>
#include "test_support.h"
#include "verify_trust.h"

using namespace velmor;
using namespace velmor::test;

namespace {

TEST(WinVerifyTrustTest, TheDigestCoversImageAndDataButNotTheTrailer)
{
    std::string output = WindowsPathFromUnix(RequiredEnvironment("VELMOR_TEST_OUTPUT"));
    const std::string bytes = ReadWholeFile(output + "\\signed-setup.exe");
    ASSERT_GT(bytes.size(), StubImage().size() + kTrailerSize);
    auto changed = [&bytes](size_t offset) {
        std::string copy = bytes;
        copy[offset] ^= 0x20;
        return copy;
    };
    ScratchFolder folder;
    enum Verdict { DigestHolds, BadDigest, NoSignature };
    struct Case {
        const char *what;
        std::string bytes;
        Verdict verdict;
    } cases[] = {
        {"signed", bytes, DigestHolds},
        {"a byte of the program changed", changed(StubImage().size() / 2), BadDigest},
        {"a byte of the data area changed", changed(StubImage().size() + 100), BadDigest},
        {"a byte of the trailer's description changed",
         changed(bytes.size() - kTrailerSize + offsetof(ArchiveTrailer, description)), DigestHolds},
        {"unsigned", ReadWholeFile(output + "\\unsigned-setup.exe"), NoSignature},
    };
    for (const Case &c : cases) {
        std::string path = folder / "PACKAGE.EXE";
        WriteWholeFile(path, c.bytes);
        LONG result = VerifyTrust(std::wstring(path.begin(), path.end()));
        std::printf("WinVerifyTrust, %s: 0x%08lX\n", c.what, static_cast<unsigned long>(result));
        switch (c.verdict) {
        case DigestHolds:
            EXPECT_TRUE(result == ERROR_SUCCESS || result == CERT_E_UNTRUSTEDROOT) << c.what << ": " << result;
            break;
        case BadDigest:
            EXPECT_EQ(result, TRUST_E_BAD_DIGEST) << c.what;
            break;
        case NoSignature:
            EXPECT_EQ(result, TRUST_E_NOSIGNATURE) << c.what;
            break;
        }
    }
}

} // namespace
