// What velmor-pack does with hostile or unlucky surroundings: special files given as
// input, long output names, signals and a killed run, links and a full disk while
// extracting, and folders of many files.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include "byte_source.h"
#include "host_support.h"
#include "output_file.h"
#include "package_extract.h"
#include "package_layout.h"
#include "package_reader.h"
#include "record_writer.h"
#include "temporary_files.h"

#ifndef _WIN32
extern char **environ;
#endif

namespace fs = std::filesystem;
using namespace velmor::test;

namespace {

class RobustnessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = FreshTestFolder("robust");
        Write(root / "src" / "setup.exe", "MZ setup");
        Write(root / "src" / "sub" / "data.bin", RandomBytes(5000, 3));
        fs::create_directories(root / "out");
        stub = root / "stub.exe";
        Write(stub, StandInStub());
    }
    void TearDown() override { fs::remove_all(root); }

    CommandRun Run(const std::string &arguments, const std::string &prefix = "")
    {
        return PackIn(root, arguments, prefix);
    }
    CommandRun Create(const std::string &options, const std::string &source = "src",
                      const std::string &output = "out/pkg.exe")
    {
        return Run("create --stub " + Quote(stub) + " " + options + " " + source + " -o " + output);
    }

    fs::path root;
    fs::path stub;
};

TEST_F(RobustnessTest, SpecialFilesAreRefusedAndNothingWaitsOnThem)
{
    ASSERT_EQ(Create("").status, 0);
    Write(root / "cert.pem", "certificate");
    Write(root / "key.pem", "key");
    Write(root / "long.txt", std::string(100000, 'd'));
    // A FIFO would keep a reader waiting for a writer, as the console keeps one
    // waiting for a key; a device of endless bytes never ends a read.
#ifdef _WIN32
    const std::string pipe = "CON", endless = "NUL", timeout;
    const std::string fifo = "CON: expected a regular file, found a device";
    const std::string zero = "NUL: expected a regular file, found a device";
#else
    const std::string pipe = "pipe", endless = "/dev/zero", timeout = "timeout 20";
    ASSERT_EQ(mkfifo((root / "pipe").c_str(), 0600), 0);
    const std::string fifo = "pipe: expected a regular file, found a FIFO";
    const std::string zero = "/dev/zero: expected a regular file, found a character device";
#endif
    struct Case {
        std::string arguments;
        std::string expected;
    } cases[] = {
        {"list " + pipe, fifo},
        {"verify " + pipe, fifo},
        {"extract " + pipe + " out/dest", fifo},
#ifndef _WIN32 // signing on Windows: WindowsSigningTest
        {"sign pipe -o out/signed.exe --cert cert.pem --key key.pem", fifo},
        {"sign out/pkg.exe -o out/signed.exe --cert pipe --key key.pem", fifo},
#endif
        {"szdd expand " + pipe + " out/x", fifo},
        {"szdd compress " + endless + " out/x", zero},
        {"which-setup " + pipe, fifo},
        {"create --config " + pipe, fifo},
        {"create --stub " + pipe + " src -o out/new.exe", fifo},
        {"create --stub " + Quote(stub) + " --description-file " + endless + " src -o out/new.exe", zero},
        {"create --stub " + Quote(stub) + " --description-file long.txt src -o out/new.exe",
         "long.txt: expected at most 65536 bytes, found 100000"},
    };
    for (const Case &c : cases) {
        // A command that waits on the FIFO is ended after 20 seconds, with status 124.
        CommandRun run = Run(c.arguments, timeout);
        EXPECT_EQ(run.status, 1) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find("velmor-pack: " + c.expected), std::string::npos) << c.arguments << "\n"
                                                                                     << run.output;
        EXPECT_EQ(Listing(root / "out"), std::vector<std::string>{"pkg.exe"}) << c.arguments;
    }
}

TEST_F(RobustnessTest, OutputNamesOf255BytesWork)
{
    const std::string name = std::string(251, 'n') + ".exe";
    EXPECT_LT(velmor::TemporaryName(name, "unsigned").size(), 80u);
    CommandRun create = Create("", "src", "out/" + name);
    EXPECT_EQ(create.status, 0) << create.output;
    CommandRun compress = Run("szdd compress src/setup.exe out/" + std::string(254, 's') + "_");
    EXPECT_EQ(compress.status, 0) << compress.output;
    CommandRun expand = Run("szdd expand out/" + std::string(254, 's') + "_ out/" + std::string(255, 'e'));
    EXPECT_EQ(expand.status, 0) << expand.output;
    EXPECT_EQ(Listing(root / "out"), (std::vector<std::string>{std::string(255, 'e'), name,
                                                               std::string(254, 's') + "_"}));
}

#ifndef _WIN32 // Ctrl+C and the console's closing on Windows: WindowsFilesTest
TEST_F(RobustnessTest, TemporaryFilesGoOnSignals)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Write(root / "out" / "pkg.exe", "previous package");
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            velmor::RemoveTemporariesOnSignals();
            velmor::OutputFile out((root / "out" / "pkg.exe").string());
            out.Write("half a package");
            velmor::TemporaryPath work((root / "out" / "pkg.exe").string(), "work", true);
            mkdir(work.path().c_str(), 0700);
            Write(work.path() + "/unsigned.exe", "unsigned");
            raise(signal);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "signal " << signal;
        EXPECT_EQ(Listing(root / "out"), std::vector<std::string>{"pkg.exe"}) << "signal " << signal;
        EXPECT_EQ(Read(root / "out" / "pkg.exe"), "previous package");
    }
}

// A run killed while osslsigncode signs (a stand-in that waits to be killed) leaves
// its temporary files after SIGKILL, which the next run to that output removes, and
// none after SIGTERM.
TEST_F(RobustnessTest, AKilledRunsTemporaryFilesGoWithTheNextRun)
{
    Write(root / "cert.pem", "certificate");
    Write(root / "key.pem", "key");
    Write(root / "signer", "#!/bin/sh\necho $$ > \"$SIGNER_PID.new\"\nmv \"$SIGNER_PID.new\" \"$SIGNER_PID\"\n"
                           "exec sleep 60\n");
    fs::permissions(root / "signer", fs::perms::owner_all);
    for (int signal : {SIGKILL, SIGTERM}) {
        Write(root / "out" / "pkg.exe", "previous package");
        fs::path signerPid = root / "signer.pid";
        fs::remove(signerPid);
        std::vector<std::string> environment = {"VELMOR_OSSLSIGNCODE=" + (root / "signer").string(),
                                                "SIGNER_PID=" + signerPid.string()};
        for (char **e = environ; *e; ++e)
            environment.push_back(*e);
        std::vector<char *> envp;
        for (std::string &e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = {VELMOR_PACK_PATH, "create", "--stub", VELMOR_I686_STUB,
                                         "--cert", (root / "cert.pem").string(), "--key", (root / "key.pem").string(),
                                         (root / "src").string(), "-o", (root / "out" / "pkg.exe").string()};
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pack;
        ASSERT_EQ(posix_spawn(&pack, argv[0], nullptr, nullptr, argv.data(), envp.data()), 0);
        for (int i = 0; i < 400 && !fs::exists(signerPid); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(fs::exists(signerPid)) << "the signer did not start";
        kill(pack, signal);
        int status = 0;
        ASSERT_EQ(waitpid(pack, &status, 0), pack);
        kill(std::stoi(Read(signerPid)), SIGKILL);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);

        std::vector<std::string> left = Listing(root / "out");
        EXPECT_EQ(Read(root / "out" / "pkg.exe"), "previous package");
        if (signal == SIGKILL) {
            EXPECT_GT(left.size(), 1u) << "SIGKILL leaves the temporary files";
            for (const std::string &name : left)
                EXPECT_TRUE(name == "pkg.exe" || name.rfind(".velmor-", 0) == 0) << name;
            CommandRun next = Create("", "src", "out/pkg.exe");
            EXPECT_EQ(next.status, 0) << next.output;
        }
        EXPECT_EQ(Listing(root / "out"), std::vector<std::string>{"pkg.exe"}) << "signal " << signal;
    }
}

#endif

TEST_F(RobustnessTest, ExtractReplacesFilesAndNeverWritesThroughALink)
{
    Write(root / "src" / "h.txt", "from the package");
    Write(root / "src" / fs::u8path("\xc3\xbc" "ber.txt"), "from the package too");
    ASSERT_EQ(Create("").status, 0);
    Write(root / "outside" / "victim", "victim data");
    fs::create_directories(root / "dest");
    fs::create_hard_link(root / "outside" / "victim", root / "dest" / "h.txt");
    Write(root / "dest" / fs::u8path("\xc3\x9c" "ber.txt"), "old");
    CommandRun run = Run("extract out/pkg.exe dest");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Read(root / "outside" / "victim"), "victim data");
    EXPECT_EQ(Read(root / "dest" / "h.txt"), "from the package");
    EXPECT_EQ(fs::hard_link_count(root / "dest" / "h.txt"), 1u);
    // Windows takes the two spellings for one name: the file keeps the one on disk.
    EXPECT_EQ(Read(root / "dest" / fs::u8path("\xc3\x9c" "ber.txt")), "from the package too");
    const std::vector<std::string> names = Listing(root / "dest");
    EXPECT_EQ(std::count(names.begin(), names.end(), "\xc3\x9c" "ber.txt"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "\xc3\xbc" "ber.txt"), 0);
}

#ifndef _WIN32 // a file size limit stands in for a full disk
TEST_F(RobustnessTest, AnEntryThatFailsLeavesNothingOfItself)
{
    fs::remove_all(root / "src");
    Write(root / "src" / "a.txt", "first");
    Write(root / "src" / "sub" / "deeper" / "big.bin", RandomBytes(600000, 4));
    Write(root / "alone" / "sub" / "big.bin", RandomBytes(600000, 5));
    struct Case {
        const char *options;
        const char *source;
        std::vector<std::string> left;
        const char *message;
    } cases[] = {
        {"", "src", {"a.txt"},
         "entry 2 (sub\\deeper\\big.bin): sub/deeper/big.bin: cannot write: File too large; stopped there: "
         "entries 1 to 1 were extracted, and nothing of entry 2 was written"},
        {"--compress", "src", {"a.txt"}, "and nothing of entry 2 was written"},
        {"", "alone", {}, "stopped there: nothing was extracted"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Create(c.options, c.source).status, 0);
        fs::remove_all(root / "dest");
        // A file size limit of 100 KiB stands in for a full disk.
        CommandRun run = Run("extract out/pkg.exe dest/below", "ulimit -f 100 &&");
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        if (c.left.empty()) {
            EXPECT_FALSE(fs::exists(root / "dest")) << run.output;
        } else {
            EXPECT_EQ(Listing(root / "dest" / "below"), c.left) << c.options;
        }
    }
}
#endif

TEST_F(RobustnessTest, ExtractReadsEachFolderOnce)
{
    std::vector<velmor::EntryHeader> entries;
    for (int i = 0; i < 5; ++i)
        entries.push_back({"", "ROOT" + std::to_string(i)});
    for (int i = 0; i < 3000; ++i)
        entries.push_back({i == 0 ? "D" : "", "F" + std::to_string(i)});
    for (int i = 0; i < 10; ++i)
        entries.push_back({i == 0 ? "d\\E" : "", "G" + std::to_string(i)});
    std::string bytes = BytePackage(entries, std::vector<std::string>(entries.size(), "x"));
    velmor::MemorySource source(bytes);
    velmor::PackageContents contents = velmor::ReadPackage(source);
    ASSERT_TRUE(contents.Sound());
    velmor::ExtractSummary summary = velmor::ExtractPackage(source, contents, (root / "dest").string(), 1252);
    EXPECT_EQ(summary.files, 3015u);
    EXPECT_EQ(summary.foldersRead, 3u) << "the destination, D and D/E";
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "dest" / "D"), fs::directory_iterator()), 3001);
}

} // namespace
