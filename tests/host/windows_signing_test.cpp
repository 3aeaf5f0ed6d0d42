// Signing on Windows through signtool, run against a stand-in (signtool_stand_in.cpp)
// that records its arguments and appends a certificate table as signtool does; the
// signature facts read through CryptoAPI beside WinVerifyTrust's verdict on the same
// packages (those of make-signature-samples.sh, in VELMOR_SIGNATURE_SAMPLES).
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include "host_support.h"
#include "pack_error.h"
#include "package_reader.h"
#include "package_signature.h"
#include "pe_image.h"
#include "signing_tool.h"
#include "verify_trust.h"

namespace fs = std::filesystem;
using namespace velmor;
using velmor::test::Read;

namespace {

TEST(WindowsSigningTest, SigntoolSignsACopyAndTimestampsByTheFirstAuthorityThatAnswers)
{
    const fs::path root = fs::temp_directory_path() / "velmor-signtool-test";
    fs::remove_all(root);
    fs::create_directories(root);
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const fs::path in = root / "unsigned.exe", log = root / "log.txt";
    fs::copy_file(self, in);
    const std::string original = Read(in);

    SigningOptions pfx;
    pfx.pkcs12File = "key.pfx";
    pfx.passwordEnv = "VELMOR_TEST_PFX_PASSWORD";
    pfx.description = "Acme Setup";
    pfx.timestampUrls = {"http://first.invalid/", "http://second.invalid/"};
    SigningOptions pem;
    pem.certFile = "cert.pem";
    pem.keyFile = "key.pem";
    const std::string standIn = VELMOR_SIGNTOOL_STAND_IN;
    const std::string signedArgs = "sign\n/fd\nsha256\n/f\nkey.pfx\n/p\nsecret\n/d\nAcme Setup\n";
    struct Case {
        const char *what;
        const SigningOptions &options;
        std::string tool, refuse;
        const char *error;  // how the message goes on; nullptr: signed
        std::string runs;   // the arguments of each run, out aside
    } cases[] = {
        {"the second authority answers", pfx, standIn, "http://first.invalid/", nullptr,
         signedArgs + "\n" + "timestamp\n/tr\nhttp://first.invalid/\n/td\nsha256\n\n" +
             "timestamp\n/tr\nhttp://second.invalid/\n/td\nsha256\n\n"},
        {"a PEM key", pem, standIn, "", "signtool takes the certificate and key only in a PKCS#12 (.pfx) file", ""},
        {"no signtool", pfx, (root / "nowhere" / "signtool.exe").string(), "",
         "not found: signing on Windows needs signtool.exe from the Windows SDK", ""},
        {"signtool refuses", pfx, standIn, "sign", "pkg.exe: ", signedArgs + "\n"},
        {"no authority answers", pfx, standIn, "/td", "could not timestamp it: http://first.invalid/: ",
         signedArgs + "\n" + "timestamp\n/tr\nhttp://first.invalid/\n/td\nsha256\n\n" +
             "timestamp\n/tr\nhttp://second.invalid/\n/td\nsha256\n\n"},
    };
    SetEnvironmentVariableA("VELMOR_TEST_PFX_PASSWORD", "secret");
    SetEnvironmentVariableA("VELMOR_STAND_IN_LOG", log.string().c_str());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path out = root / (std::string(c.what) + ".exe");
        fs::remove(log);
        SetEnvironmentVariableA("VELMOR_SIGNTOOL", c.tool.c_str());
        SetEnvironmentVariableA("VELMOR_STAND_IN_REFUSE", c.refuse.empty() ? nullptr : c.refuse.c_str());
        std::string error;
        try {
            SignWithTool(c.options, in.string(), out.string(), "pkg.exe");
        } catch (const PackError &e) {
            error = e.what();
        }
        // The runs, each without its last argument (out, where it is given).
        std::string runs = Read(log);
        for (size_t at = 0; (at = runs.find(out.string() + "\n", at)) != std::string::npos;)
            runs.erase(at, out.string().size() + 1);
        EXPECT_EQ(runs, c.runs);
        EXPECT_TRUE(Read(in) == original) << "the input is never changed";
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(error, "");
        // signtool's certificate table, where the signing step takes it from.
        const std::string bytes = Read(out);
        MemorySource source(bytes);
        std::optional<PeSigningFields> pe = ReadPeSigningFields(source);
        ASSERT_TRUE(pe);
        EXPECT_EQ(pe->tableOffset, (original.size() + 7) / 8 * 8);
        EXPECT_EQ(pe->TableEnd(), bytes.size());
        // The program as it was, its security directory entry aside.
        std::string before = original, after = bytes.substr(0, original.size());
        before.replace(pe->directoryOffset, 8, 8, '\0');
        after.replace(pe->directoryOffset, 8, 8, '\0');
        EXPECT_TRUE(before == after);
    }
    fs::remove_all(root);
}

// WinVerifyTrust's verdict on a file, root trust aside: what Authenticode policy
// returns once the digest and the signatures hold, on a machine that does not trust
// the throw-away root, counts as holding.
enum class TrustVerdict { Holds, BadDigest, BadSignature };

TrustVerdict Verdict(LONG result)
{
    if (result == ERROR_SUCCESS || result == CERT_E_UNTRUSTEDROOT || result == CERT_E_CHAINING)
        return TrustVerdict::Holds;
    return result == TRUST_E_BAD_DIGEST ? TrustVerdict::BadDigest : TrustVerdict::BadSignature;
}

TEST(WindowsSigningTest, TheFactsAgreeWithWinVerifyTrust)
{
    const char *folder = std::getenv("VELMOR_SIGNATURE_SAMPLES");
    if (!folder)
        GTEST_SKIP() << "VELMOR_SIGNATURE_SAMPLES names no folder of signed samples";
    const struct {
        const char *file;
        TrustVerdict verdict;
    } cases[] = {
        {"signed.exe", TrustVerdict::Holds},
        {"stamped.exe", TrustVerdict::Holds},
        {"changed-data.exe", TrustVerdict::BadDigest},
        {"changed-signature.exe", TrustVerdict::BadSignature},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path path = fs::path(folder) / c.file;
        const std::string bytes = Read(path);
        MemorySource source(bytes);
        PackageContents contents = ReadPackage(source);
        ASSERT_TRUE(contents.certificateTable);
        CheckSignature(source, contents);
        TrustVerdict facts = !contents.signature.DigestMatches()   ? TrustVerdict::BadDigest
                             : !contents.signature.signatureValid ? TrustVerdict::BadSignature
                                                                  : TrustVerdict::Holds;
        EXPECT_EQ(facts, c.verdict);
        EXPECT_EQ(Verdict(test::VerifyTrust(path.wstring())), c.verdict);
    }
}

// The whole signing step with signtool's placement of the signature (a stand-in that
// gives the bytes osslsigncode signed on Linux their signature): the Windows build
// hands signtool the same body and writes the same signed package as the Linux build.
TEST(WindowsSigningTest, SignPackageWritesWhatTheLinuxBuildWrites)
{
    const char *folder = std::getenv("VELMOR_SIGNATURE_SAMPLES");
    if (!folder)
        GTEST_SKIP() << "VELMOR_SIGNATURE_SAMPLES names no folder of signed samples";
    const fs::path samples = folder;
    const fs::path out = fs::temp_directory_path() / "velmor-signtool-replay.exe";
    fs::remove(out);
    SetEnvironmentVariableA("VELMOR_SIGNTOOL", VELMOR_SIGNTOOL_STAND_IN);
    SetEnvironmentVariableA("VELMOR_STAND_IN_REPLAY", folder);
    SetEnvironmentVariableA("VELMOR_STAND_IN_REFUSE", nullptr);
    SetEnvironmentVariableA("VELMOR_TEST_PFX_PASSWORD", "secret");
    SigningOptions options;
    options.pkcs12File = (samples / "key.pfx").string();
    options.passwordEnv = "VELMOR_TEST_PFX_PASSWORD";
    SignSummary summary = SignPackage((samples / "unsigned.exe").string(), out.string(), options);
    EXPECT_TRUE(summary.signature.DigestMatches() && summary.signature.signatureValid);
    EXPECT_TRUE(Read(out) == Read(samples / "pfx-signed.exe"));
    fs::remove(out);
}

} // namespace
