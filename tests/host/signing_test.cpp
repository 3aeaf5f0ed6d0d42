// velmor-pack sign, and list, verify and extract on signed packages: packages of the
// shipped i686 stub signed with throw-away keys, checked by velmor-pack and, on its
// own, by osslsigncode verify.
#include <gtest/gtest.h>
#include <openssl/opensslv.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <thread>
#include <nlohmann/json.hpp>
#include "byte_order.h"
#include "byte_source.h"
#include "host_support.h"
#include "package_layout.h"
#include "pe_image.h"

namespace fs = std::filesystem;
using namespace velmor::test;

namespace {

class SigningTest : public ::testing::Test {
protected:
    // Two identities for all tests: a certificate and key in PEM files, and a second
    // one in a PKCS#12 file with a password.
    static void SetUpTestSuite()
    {
        keys = fs::temp_directory_path() / ("velmor-keys-" + std::to_string(getpid()));
        fs::create_directories(keys);
        CommandRun made = Shell("(cd " + Quote(keys) +
                                " && openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "
                                "'/CN=Velmor Test Signer/O=Acme' -keyout key.pem -out cert.pem"
                                " && openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "
                                "'/CN=Velmor Second Signer' -keyout key2.pem -out cert2.pem"
                                " && openssl pkcs12 -export -inkey key2.pem -in cert2.pem -out second.p12 "
                                "-passout pass:s3cret)");
        ASSERT_EQ(made.status, 0) << made.output;
    }
    static void TearDownTestSuite() { fs::remove_all(keys); }

    void SetUp() override
    {
        root = FreshTestFolder("sign");
        Write(root / "src" / "setup.exe", "MZ setup program");
        Write(root / "src" / "readme.txt", "read me, a unique marker\r\n!");
        Write(root / "src" / "data" / "big.bin", RandomBytes(200000, 11));
        fs::create_directories(root / "out");
    }
    void TearDown() override { fs::remove_all(root); }

    static std::string First() { return "--cert " + Quote(keys / "cert.pem") + " --key " + Quote(keys / "key.pem"); }

    CommandRun Create(const std::string &options, const fs::path &output)
    {
        return Pack("create --stub " + Quote(VELMOR_I686_STUB) +
                    " --mode setup --run setup.exe --folder 'C:\\Acme' --description 'Acme 2.1' " + options + " " +
                    Quote(root / "src") + " -o " + Quote(output));
    }
    fs::path Unsigned()
    {
        fs::path package = root / "out" / "pkg.exe";
        CommandRun run = Create("", package);
        EXPECT_EQ(run.status, 0) << run.output;
        return package;
    }
    fs::path Signed(const fs::path &input, const std::string &options = First())
    {
        fs::path output = root / "out" / "signed.exe";
        CommandRun run = Pack("sign " + Quote(input) + " -o " + Quote(output) + " " + options);
        EXPECT_EQ(run.status, 0) << run.output;
        return output;
    }
    static CommandRun Osslverify(const fs::path &package, const char *trusted = "cert.pem")
    {
        return Shell("osslsigncode verify -CAfile " + Quote(keys / trusted) + " -in " + Quote(package));
    }

    // The signed package holds the unsigned one's bytes: its image and data area apart
    // from the header's checksum and security directory, and its trailer last.
    static void ExpectSamePackage(const fs::path &unsignedPath, const fs::path &signedPath)
    {
        std::string u = Read(unsignedPath), s = Read(signedPath);
        size_t bodyEnd = u.size() - kTrailerSize;
        ASSERT_GT(s.size(), u.size());
        EXPECT_EQ(s.substr(s.size() - kTrailerSize), u.substr(bodyEnd)) << "the trailer is last, unchanged";
        size_t differing = 0, last = 0;
        for (size_t i = 0; i < bodyEnd; ++i) {
            if (s[i] != u[i]) {
                ++differing;
                last = i;
            }
        }
        EXPECT_LE(differing, 12u) << "checksum and security directory only";
        EXPECT_LT(last, 512u) << "inside the PE header";
    }

    static inline fs::path keys;
    fs::path root;
};

TEST_F(SigningTest, ASignedPackageHoldsForOsslsigncodeAndVerifyAndExtracts)
{
    fs::path package = Unsigned();
    ASSERT_NE((fs::file_size(package) - kTrailerSize) % 8, 0u) << "the signature's alignment has bytes to add";
    fs::path output = root / "out" / "signed.exe";
    CommandRun sign = Pack("sign " + Quote(package) + " -o " + Quote(output) + " " + First() +
                           " --description 'Acme driver' --url https://example.com/acme");
    ASSERT_EQ(sign.status, 0) << sign.output;
    EXPECT_NE(sign.output.find("signed by CN=Velmor Test Signer, O=Acme"), std::string::npos) << sign.output;

    CommandRun ossl = Osslverify(output);
    EXPECT_EQ(ossl.status, 0) << ossl.output;
    EXPECT_NE(ossl.output.find("Signature verification: ok"), std::string::npos) << ossl.output;
    EXPECT_EQ(ossl.output.find("MISMATCH"), std::string::npos) << ossl.output;
    EXPECT_EQ(ossl.output.find("invalid PE checksum"), std::string::npos) << ossl.output;

    CommandRun verify = Pack("verify --require-signature " + Quote(output));
    EXPECT_EQ(verify.status, 0) << verify.output;
    EXPECT_NE(verify.output.find("sound, 3 entries, setup program setup.exe; signed by CN=Velmor Test Signer, "
                                 "O=Acme (SHA256 digest matches, no timestamp)"),
              std::string::npos)
        << verify.output;
    CommandRun unsignedVerify = Pack("verify --require-signature " + Quote(package));
    EXPECT_EQ(unsignedVerify.status, 1);
    EXPECT_NE(unsignedVerify.output.find("the package is not signed"), std::string::npos) << unsignedVerify.output;

    CommandRun list = Pack("list " + Quote(output));
    EXPECT_EQ(list.status, 0) << list.output;
    for (const char *line : {"Signature      SHA256 digest matches the file", "Signer         CN=Velmor Test Signer",
                             "Timestamp      none"})
        EXPECT_NE(list.output.find(line), std::string::npos) << line << "\n" << list.output;

    CommandRun extract = Pack("extract " + Quote(output) + " " + Quote(root / "extracted"));
    ASSERT_EQ(extract.status, 0) << extract.output;
    for (const char *file : {"setup.exe", "readme.txt", "data/big.bin"})
        EXPECT_EQ(Read(root / "extracted" / file), Read(root / "src" / file)) << file;
    ExpectSamePackage(package, output);
}

// verify --json gives the signature's facts, and a signature problem as the package's.
TEST_F(SigningTest, VerifyJsonGivesTheSignatureFacts)
{
    fs::path unsignedPackage = Unsigned();
    fs::path signedPackage = Signed(unsignedPackage);
    std::string bytes = Read(signedPackage);
    bytes[bytes.find("unique marker")] ^= 0x20;
    fs::path changed = root / "out" / "changed.exe";
    Write(changed, bytes);
    CommandRun run = Pack("verify --json --require-signature " + Quote(signedPackage) + " " + Quote(changed) + " " +
                          Quote(unsignedPackage));
    EXPECT_EQ(run.status, 1) << run.output;
    nlohmann::json document = nlohmann::json::parse(run.output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << run.output;
    struct Case {
        const char *what;
        bool sound;
        bool isSigned;
        bool digestMatches;
        const char *problem; // how the message of the only problem begins, if there is one
    } cases[] = {
        {"signed", true, true, true, nullptr},
        {"changed after signing", false, true, false, "the Authenticode digest does not match the file"},
        {"unsigned", false, false, false, "the package is not signed"},
    };
    ASSERT_EQ(document["packages"].size(), std::size(cases)) << run.output;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        const nlohmann::json &package = document["packages"][i];
        EXPECT_EQ(package["sound"], c.sound) << c.what << ": " << package;
        EXPECT_EQ(package["signed"], c.isSigned) << c.what << ": " << package;
        const nlohmann::json &signature = package["signature"];
        if (c.isSigned) {
            EXPECT_EQ(signature["signer"], "CN=Velmor Test Signer, O=Acme") << c.what;
            EXPECT_EQ(signature["digestAlgorithm"], "SHA256") << c.what;
            EXPECT_EQ(signature["digestMatches"], c.digestMatches) << c.what;
            EXPECT_EQ(signature["signatureValid"], true) << c.what;
            EXPECT_TRUE(signature["timestamp"].is_null()) << c.what;
        } else {
            EXPECT_TRUE(signature.is_null()) << c.what << ": " << package;
        }
        ASSERT_EQ(package["problems"].size(), c.problem ? 1u : 0u) << c.what << ": " << package;
        if (c.problem) {
            const nlohmann::json &problem = package["problems"][0];
            EXPECT_EQ(problem["kind"], "signature") << c.what;
            EXPECT_TRUE(problem["index"].is_null() && problem["entry"].is_null()) << c.what << ": " << problem;
            EXPECT_EQ(problem["message"].get<std::string>().rfind(c.problem, 0), 0u) << c.what << ": " << problem;
        }
    }
}

// libcrypto is opened only to read a signature: where it cannot be, a signed package
// is reported unchecked, never passed as sound.
TEST_F(SigningTest, WithoutLibcryptoASignatureIsReportedUncheckedNotPassed)
{
    fs::path output = Signed(Unsigned());
    // An empty file by the library's name, found first: the library cannot be loaded.
    fs::path broken = root / "broken-lib";
    Write(broken / ("libcrypto.so." + std::to_string(OPENSSL_SHLIB_VERSION)), "");
    CommandRun verify = Pack("verify " + Quote(output), "LD_LIBRARY_PATH=" + Quote(broken));
    EXPECT_EQ(verify.status, 1) << verify.output;
    for (const char *text : {"the signature cannot be checked: ", "install OpenSSL's libcrypto"})
        EXPECT_NE(verify.output.find(text), std::string::npos) << text << "\n" << verify.output;
}

TEST_F(SigningTest, AByteChangedAfterSigningFailsBothVerifiersUnlessItIsInTheTrailer)
{
    fs::path package = Signed(Unsigned());
    const std::string bytes = Read(package);
    const size_t stubSize = fs::file_size(VELMOR_I686_STUB);
    ASSERT_GT(bytes.size(), stubSize + kTrailerSize) << "signing failed: no package to change";
    const size_t trailer = bytes.size() - kTrailerSize;
    struct Case {
        const char *what;
        size_t offset;
        bool holds;
        const char *message; // from velmor-pack verify
    } cases[] = {
        {"the program", stubSize / 2, false, "the Authenticode digest does not match the file"},
        {"an entry's data", bytes.find("unique marker"), false, "the Authenticode digest does not match the file"},
        // The signature ends in the signer's signature value, then zero bytes.
        {"the signature", bytes.find_last_not_of('\0', trailer - 1) - 8, false,
         "the signer's signature over the digest does not hold"},
        // Not covered by the digest, so that the trailer can follow the signature.
        {"the trailer's description", trailer + offsetof(ArchiveTrailer, description), true, nullptr},
    };
    for (const Case &c : cases) {
        std::string changed = bytes;
        changed[c.offset] ^= 0x20;
        fs::path damaged = root / "out" / "changed.exe";
        Write(damaged, changed);
        CommandRun ossl = Osslverify(damaged);
        EXPECT_EQ(ossl.status == 0, c.holds) << c.what << "\n" << ossl.output;
        CommandRun verify = Pack("verify " + Quote(damaged));
        EXPECT_EQ(verify.status, c.holds ? 0 : 1) << c.what << "\n" << verify.output;
        if (c.message)
            EXPECT_NE(verify.output.find(c.message), std::string::npos) << c.what << "\n" << verify.output;
    }
}

TEST_F(SigningTest, BytesBetweenTheLastEntryAndTheCertificateTableAreStillFound)
{
    fs::path package = Signed(Unsigned());
    std::string bytes = Read(package);
    velmor::MemorySource source(bytes);
    std::optional<velmor::PeSigningFields> pe = velmor::ReadPeSigningFields(source);
    ASSERT_TRUE(pe && pe->Signed());
    bytes.insert(pe->tableOffset, 8, '\0');
    StoreLe32(reinterpret_cast<unsigned char *>(&bytes[pe->directoryOffset]), pe->tableOffset + 8);
    Write(package, bytes);
    CommandRun verify = Pack("verify " + Quote(package));
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.output.find("bytes after the last entry are not part of any entry (the data area must end "
                                 "where the certificate table begins)"),
              std::string::npos)
        << verify.output;
}

TEST_F(SigningTest, APackageSignedByOsslsigncodeAloneIsNamedAndSignOnlyRepairsIt)
{
    fs::path package = Unsigned();
    fs::path alone = root / "out" / "alone.exe";
    CommandRun ossl = Shell("osslsigncode sign -certs " + Quote(keys / "cert.pem") + " -key " +
                            Quote(keys / "key.pem") + " -in " + Quote(package) + " -out " + Quote(alone));
    ASSERT_EQ(ossl.status, 0) << ossl.output;
    for (const char *command : {"verify", "list", "extract"}) {
        std::string arguments = std::string(command) + " " + Quote(alone);
        if (std::string(command) == "extract")
            arguments += " " + Quote(root / "extracted");
        CommandRun run = Pack(arguments);
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_NE(run.output.find("signed by a tool that appended the signature behind the package trailer"),
                  std::string::npos)
            << command << "\n" << run.output;
        EXPECT_NE(run.output.find("Sign the unsigned package with velmor-pack sign"), std::string::npos)
            << command << "\n" << run.output;
    }
    EXPECT_FALSE(fs::exists(root / "extracted"));

    fs::path repaired = Signed(alone);
    EXPECT_EQ(Pack("verify " + Quote(repaired)).status, 0);
    EXPECT_EQ(Osslverify(repaired).status, 0);
    ExpectSamePackage(package, repaired);
}

TEST_F(SigningTest, SigningASignedPackageReplacesItsSignature)
{
    fs::path package = Unsigned();
    fs::path once = Signed(package);
    Write(root / "password.txt", "s3cret\n");
    struct Case {
        const char *what;
        std::string options;
    } cases[] = {
        {"password from the environment", "--pkcs12 " + Quote(keys / "second.p12") + " --password-env VELMOR_TEST_PASSWORD"},
        {"password from a file", "--pkcs12 " + Quote(keys / "second.p12") + " --password-file " +
                                     Quote(root / "password.txt")},
    };
    for (const Case &c : cases) {
        fs::path twice = root / "out" / "twice.exe";
        fs::copy_file(once, twice, fs::copy_options::overwrite_existing);
        CommandRun sign =
            Pack("sign " + Quote(twice) + " -o " + Quote(twice) + " " + c.options, "VELMOR_TEST_PASSWORD=s3cret");
        ASSERT_EQ(sign.status, 0) << c.what << "\n" << sign.output;
        CommandRun verify = Pack("verify " + Quote(twice));
        EXPECT_EQ(verify.status, 0) << c.what << "\n" << verify.output;
        EXPECT_NE(verify.output.find("signed by CN=Velmor Second Signer"), std::string::npos) << verify.output;
        CommandRun ossl = Osslverify(twice, "cert2.pem");
        EXPECT_EQ(ossl.status, 0) << c.what << "\n" << ossl.output;
        EXPECT_NE(ossl.output.find("Number of verified signatures: 1"), std::string::npos) << ossl.output;
        ExpectSamePackage(package, twice);
    }
}

TEST_F(SigningTest, CreateSignsInOneCommandAndLeavesUnsignedPackagesAsTheyWere)
{
    fs::path plain = Unsigned();
    std::string stub = Read(VELMOR_I686_STUB), bytes = Read(plain);
    EXPECT_EQ(bytes.compare(0, stub.size(), stub), 0) << "the stub comes first, byte for byte";
    velmor::MemorySource source(bytes);
    ASSERT_TRUE(velmor::ReadPeSigningFields(source));
    EXPECT_FALSE(velmor::ReadPeSigningFields(source)->Signed());

    fs::path signedPackage = root / "out" / "created.exe";
    CommandRun create = Create(First() + " --sign-description 'Acme driver'", signedPackage);
    ASSERT_EQ(create.status, 0) << create.output;
    EXPECT_NE(create.output.find("signed by CN=Velmor Test Signer"), std::string::npos) << create.output;
    EXPECT_EQ(Pack("verify " + Quote(signedPackage)).status, 0);
    EXPECT_EQ(Osslverify(signedPackage).status, 0);
    ExpectSamePackage(plain, signedPackage);
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "out"), fs::directory_iterator()), 2)
        << "no unsigned or temporary file is left";
}

TEST_F(SigningTest, ARecipeCarriesTheSigningOptions)
{
    fs::create_directories(root / "recipe" / "keys");
    fs::copy_file(keys / "cert.pem", root / "recipe" / "keys" / "cert.pem");
    fs::copy_file(keys / "key.pem", root / "recipe" / "keys" / "key.pem");
    Write(root / "recipe" / "signed.toml", "source = \"../src\"\noutput = \"signed.exe\"\nstub = '" +
                                               std::string(VELMOR_I686_STUB) +
                                               "'\ncert = \"keys/cert.pem\"\nkey = \"keys/key.pem\"\n"
                                               "sign-description = \"Acme driver\"\n");
    CommandRun run = Pack("create --config " + Quote(root / "recipe" / "signed.toml"));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("signed by CN=Velmor Test Signer"), std::string::npos) << run.output;
    EXPECT_EQ(Pack("verify " + Quote(root / "recipe" / "signed.exe")).status, 0);
}

TEST_F(SigningTest, AFailureNamesItsCauseAndWritesNothing)
{
    fs::path package = Unsigned();
    // create packs behind no such program; a package built byte by byte, its PE signature gone.
    std::string noPe = BytePackage({{"", "A.TXT"}}, {"a"});
    noPe.replace(0x40, 4, std::string(4, '\0'));
    Write(root / "out" / "standin.exe", noPe);
    // The stand-in with the marker of another archive format in its version resource.
    std::string foreign = BytePackage({{"", "A.TXT"}}, {"a"});
    const std::string marker("Q\0X\0-\0V\0" "1\0.\0" "1\0" "0\0", 16);
    foreign.replace(foreign.find(marker), marker.size(), std::string("Q\0X\0-\0V\0" "1\0.\0" "1\0" "1\0", 16));
    Write(root / "out" / "foreign.exe", foreign);
    std::string p12 = "--pkcs12 " + Quote(keys / "second.p12");
    struct Case {
        const char *what;
        std::string environment;
        std::string input;
        std::string options;
        const char *message;
    } cases[] = {
        {"wrong password", "VELMOR_TEST_PASSWORD=wrong", "pkg.exe", p12 + " --password-env VELMOR_TEST_PASSWORD",
         "PKCS#12"},
        // More than a pipe takes before its reader starts (the timeout ends a run that waits).
        {"a password of 70,000 bytes", "VELMOR_TEST_PASSWORD=$(printf %070000d 0) timeout 60", "pkg.exe",
         p12 + " --password-env VELMOR_TEST_PASSWORD", "VELMOR_TEST_PASSWORD holds 70000 bytes"},
        {"no timestamp authority", "", "pkg.exe", First() + " --timestamp http://127.0.0.1:9/",
         "Timestamping asks the authority over the network"},
        {"no osslsigncode", "VELMOR_OSSLSIGNCODE=/nonexistent/osslsigncode", "pkg.exe", First(),
         "/nonexistent/osslsigncode not found"},
        {"a stub without a PE header", "", "standin.exe", First(), "is not the velmor stub"},
        {"another program than the stub", "", "foreign.exe", First(), "is not the velmor stub"},
    };
    for (const Case &c : cases) {
        CommandRun run = Pack("sign " + Quote(root / "out" / c.input) + " -o " + Quote(root / "out" / "signed.exe") +
                                  " " + c.options,
                              c.environment);
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.what << "\n" << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << c.what << "\n" << run.output;
        EXPECT_EQ(std::distance(fs::directory_iterator(root / "out"), fs::directory_iterator()), 3) << c.what;
    }
}

// New outputs get what the umask leaves of 0777 (a program) or 0666 (an SZDD file), as
// any Unix tool's new files; a package signed in place keeps its permission bits.
TEST_F(SigningTest, OutputsFollowTheUmaskAndSigningInPlaceKeepsTheMode)
{
    fs::path package = Unsigned();
    fs::permissions(package, fs::perms(0640));
    const std::string out = Quote(root / "out") + "/";
    struct Case {
        const char *what;
        const char *umask;
        std::string arguments;
        const char *output; // below out/
        unsigned mode;
    } cases[] = {
        {"create", "077", "create --stub " + Quote(VELMOR_I686_STUB) + " " + Quote(root / "src") + " -o " + out + "a.exe",
         "a.exe", 0700},
        {"create", "027", "create --stub " + Quote(VELMOR_I686_STUB) + " " + Quote(root / "src") + " -o " + out + "a.exe",
         "a.exe", 0750},
        {"create, signed", "077", "create --stub " + Quote(VELMOR_I686_STUB) + " " + First() + " " +
         Quote(root / "src") + " -o " + out + "b.exe", "b.exe", 0700},
        {"sign into a new file", "002", "sign " + out + "pkg.exe -o " + out + "c.exe " + First(), "c.exe", 0775},
        {"sign in place", "077", "sign " + out + "pkg.exe -o " + out + "pkg.exe " + First(), "pkg.exe", 0640},
        {"szdd compress", "077", "szdd compress " + Quote(root / "src" / "readme.txt") + " " + out + "readme.tx_",
         "readme.tx_", 0600},
    };
    for (const Case &c : cases) {
        CommandRun run = Pack(c.arguments, std::string("umask ") + c.umask + ";");
        ASSERT_EQ(run.status, 0) << c.what << "\n" << run.output;
        EXPECT_EQ(static_cast<unsigned>(fs::status(root / "out" / c.output).permissions()), c.mode)
            << c.what << ", umask " << c.umask;
    }
}

// sign writes its package in place when asked, but never over its key or a FIFO.
TEST_F(SigningTest, SignNeverReplacesItsKeyOrASpecialFile)
{
    fs::path package = Unsigned();
    fs::copy_file(keys / "key.pem", root / "out" / "key.pem");
    ASSERT_EQ(mkfifo((root / "out" / "fifo").c_str(), 0600), 0);
    const std::string key = "--cert " + Quote(keys / "cert.pem") + " --key " + Quote(root / "out" / "key.pem");
    struct Case {
        const char *output;
        int status;
    } cases[] = {{"key.pem", 2}, {"fifo", 1}};
    for (const Case &c : cases) {
        CommandRun run = Pack("sign " + Quote(package) + " -o " + Quote(root / "out" / c.output) + " " + key);
        EXPECT_EQ(run.status, c.status) << c.output << ": " << run.output;
    }
    EXPECT_EQ(Read(root / "out" / "key.pem"), Read(keys / "key.pem"));
    EXPECT_TRUE(fs::is_fifo(root / "out" / "fifo"));
    CommandRun inPlace = Pack("sign " + Quote(package) + " -o " + Quote(package) + " " + key);
    EXPECT_EQ(inPlace.status, 0) << inPlace.output;
}

TEST_F(SigningTest, ATimestampFromAnAuthorityIsShownAndChecked)
{
    // No network here: an RFC 3161 authority on this machine answers instead.
    fs::path tsa = root / "tsa";
    fs::create_directories(tsa);
    ASSERT_EQ(Shell("python3 " + Quote(VELMOR_SOURCE_DIR "/tests/host/local-tsa.py") + " " + Quote(tsa) +
                    " 60 >/dev/null 2>&1 &")
                  .status,
              0);
    for (int waited = 0; !fs::exists(tsa / "port") && waited < 300; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(fs::exists(tsa / "port")) << "the authority did not start";
    struct Stop {
        fs::path pidFile;
        ~Stop() { kill(std::stoi(Read(pidFile)), SIGTERM); }
    } stop{tsa / "pid"};
    std::string url = "http://127.0.0.1:" + std::to_string(std::stoi(Read(tsa / "port"))) + "/";

    // An authority that cannot be reached is passed over for the next one.
    fs::path package = Signed(Unsigned(), First() + " --timestamp http://127.0.0.1:9/ --timestamp " + url);
    CommandRun list = Pack("list " + Quote(package));
    EXPECT_NE(list.output.find("UTC by CN=Velmor Test TSA"), std::string::npos) << list.output;
    CommandRun verify = Pack("verify " + Quote(package));
    EXPECT_EQ(verify.status, 0) << verify.output;
    EXPECT_NE(verify.output.find("(SHA256 digest matches, timestamp 20"), std::string::npos) << verify.output;
    CommandRun ossl = Shell("osslsigncode verify -CAfile " + Quote(keys / "cert.pem") + " -TSA-CAfile " +
                            Quote(tsa / "tsa.pem") + " -in " + Quote(package));
    EXPECT_EQ(ossl.status, 0) << ossl.output;
    EXPECT_NE(ossl.output.find("Timestamp Server Signature verification: ok"), std::string::npos) << ossl.output;
}

} // namespace
