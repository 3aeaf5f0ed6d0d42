// The facts CheckSignature reads from signed packages, the same words on every build.
// The packages come from make-signature-samples.sh (osslsigncode on Linux), in the
// folder VELMOR_SIGNATURE_SAMPLES names.
#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include "package_reader.h"
#include "package_signature.h"

using namespace velmor;

namespace {

TEST(PackageSignatureTest, ReadsTheFactsAndNamesWhatKeepsASignatureFromHolding)
{
    const char *folder = std::getenv("VELMOR_SIGNATURE_SAMPLES");
    if (!folder)
        GTEST_SKIP() << "VELMOR_SIGNATURE_SAMPLES names no folder of signed samples";
    struct Case {
        const char *file;
        bool digestMatches, signatureValid, timestamped;
        const char *problem; // how the only problem begins; nullptr: none
    } cases[] = {
        {"signed.exe", true, true, false, nullptr},
        {"stamped.exe", true, true, true, nullptr},
        {"changed-data.exe", false, true, false, "the Authenticode digest does not match the file: "},
        {"changed-signature.exe", true, false, false, "the signer's signature over the digest does not hold"},
        {"changed-timestamp.exe", true, true, true, "the timestamp authority's signature over the timestamp does not hold"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        std::ifstream in(std::string(folder) + "/" + c.file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(bytes.empty());
        MemorySource source(bytes);
        PackageContents contents = ReadPackage(source);
        ASSERT_TRUE(contents.certificateTable);
        CheckSignature(source, contents);
        const SignatureFacts &facts = contents.signature;
        EXPECT_TRUE(facts.read);
        EXPECT_EQ(facts.digestAlgorithm, "SHA256");
        EXPECT_EQ(facts.signedDigest.size(), 64u);
        EXPECT_EQ(facts.DigestMatches(), c.digestMatches) << facts.signedDigest << " " << facts.fileDigest;
        EXPECT_EQ(facts.signatureValid, c.signatureValid);
        EXPECT_EQ(facts.signer, "CN=Velmor Test Signer, O=Acme, OU=R\\+D\\, Tools");
        EXPECT_EQ(facts.issuer, facts.signer);
        EXPECT_EQ(facts.validUntil.size(), std::string("2027-01-07 17:16:22 UTC").size()) << facts.validUntil;
        EXPECT_EQ(facts.timestamp.empty(), !c.timestamped) << facts.timestamp;
        EXPECT_EQ(facts.timestampAuthority, c.timestamped ? "CN=Velmor Test TSA" : "");
        std::string problems;
        for (const PackageProblem &p : contents.problems)
            problems += p.what + "\n";
        ASSERT_EQ(contents.problems.size(), c.problem ? 1u : 0u) << problems;
        if (c.problem) {
            EXPECT_EQ(problems.rfind(c.problem, 0), 0u) << problems;
        }
    }
}

} // namespace
