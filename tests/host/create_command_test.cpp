// velmor-pack create, run as a user runs it.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <filesystem>
#include <fstream>
#include <functional>
#include "package_layout.h"
#include "host_support.h"
#include "depfile.h"
#include "pack_error.h"
#include "package_writer.h"
#include "szdd_encoder.h"

namespace fs = std::filesystem;
using namespace velmor;
using namespace velmor::test;

namespace {

class CreateCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = FreshTestFolder("create");
        fs::create_directories(root / "src");
        fs::create_directories(root / "out");
        stub = root / "stub.exe";
        Write(stub, StandInStub());
    }
    void TearDown() override { fs::remove_all(root); }

    std::string Create(const std::string &options)
    {
        return "create --stub " + Quote(stub) + " " + options + " " + Quote(root / "src") + " -o " +
               Quote(root / "out" / "pkg.exe");
    }
    // The output folder holds nothing: no package and no temporary file.
    bool OutputFolderEmpty() const { return fs::is_empty(root / "out"); }

    fs::path root;
    fs::path stub;
};

TEST_F(CreateCommandTest, SameInputGivesTheSameBytes)
{
    Write(root / "src" / "a.txt", "alpha");
    Write(root / "src" / "sub" / "b.txt", "beta");
    CommandRun first = Pack(Create("--run a.txt"));
    ASSERT_EQ(first.status, 0) << first.output;
    std::string once = Read(root / "out" / "pkg.exe");
    fs::remove(root / "out" / "pkg.exe");
    CommandRun second = Pack(Create("--run a.txt"));
    ASSERT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(Read(root / "out" / "pkg.exe"), once);
    std::string image = Read(stub);
    EXPECT_EQ(once.compare(0, image.size(), image), 0) << "the stub comes first, unchanged";
    EXPECT_EQ(once.size(), image.size() + 2 + 4 + 6 + 32 + 5 + 2 + 4 + 6 + 32 + 4 + kTrailerSize);
#ifndef _WIN32
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(static_cast<unsigned>(fs::status(root / "out" / "pkg.exe").permissions()), 0777u & ~mask)
        << "a program, as the umask allows";
#endif
}

TEST_F(CreateCommandTest, CompressingOnSeveralThreadsGivesTheSameBytes)
{
    // Sizes far apart, so that the threads finish out of order.
    std::string text;
    for (int i = 0; text.size() < 300000; ++i)
        text += "line " + std::to_string(i % 977) + " of the setup notes\r\n";
    Write(root / "src" / "big.txt", text);
    Write(root / "src" / "noise.bin", RandomBytes(200000, 41));
    for (int i = 0; i < 12; ++i)
        Write(root / "src" / "sub" / ("f" + std::to_string(i)), text.substr(i * 100, 50 + i * 997));
    for (const char *level : {"--compress", "--compress --best"}) {
        std::string serial;
        for (const char *jobs : {"-j 1", "-j 3", "-j 8"}) {
            SCOPED_TRACE(std::string(level) + " " + jobs);
            CommandRun run = Pack(Create(std::string(level) + " " + jobs));
            ASSERT_EQ(run.status, 0) << run.output;
            std::string package = Read(root / "out" / "pkg.exe");
            if (serial.empty())
                serial = package;
            EXPECT_TRUE(package == serial);
            fs::remove(root / "out" / "pkg.exe");
        }
    }
}

TEST_F(CreateCommandTest, BadInputIsRefusedWithOneLineAndNoOutput)
{
    struct Case {
        const char *what;
        std::string file;      // below src
        std::string options;
        const char *expected;  // in the message
    } cases[] = {
        {"name outside the code page", "\xe6\x97\xa5.txt", "", "not representable in code page 1252"},
        {"destination path over 255", std::string(120, 'd') + "/" + std::string(130, 'n'),
         "", "at most 255 fit"},
        {"setup program over its field", "a", "--run " + std::string(256, 'p'), "--run"},
        {"folder over its field", "a", "--folder 'C:\\" + std::string(254, 'f') + "'", "--folder"},
#ifndef _WIN32 // a colon names a stream on Windows
        {"colon in a name", "x:y", "", "x:y: the name holds a character"},
#endif
        {"setup program not packed", "a", "--run nothere.exe", "--run nothere.exe: the setup program is not among"},
    };
    for (const Case &c : cases) {
        fs::remove_all(root / "src");
        Write(root / "src" / fs::u8path(c.file), "data");
        CommandRun run = Pack(Create(c.options));
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.what << ": " << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        EXPECT_EQ(run.output.rfind("velmor-pack: ", 0), 0u) << run.output;
        EXPECT_TRUE(OutputFolderEmpty()) << c.what;
    }
}

TEST_F(CreateCommandTest, RefusesFilesAndPackagesTheStubCannotRead)
{
    // Sparse files: sizes without the bytes.
    auto sparse = [](const fs::path &path, uintmax_t size) {
        Write(path, "");
        fs::resize_file(path, size);
    };
    sparse(root / "src" / "huge.bin", 0x100000000ULL);
    CommandRun tooLarge = Pack(Create(""));
    EXPECT_EQ(tooLarge.status, 1);
    EXPECT_NE(tooLarge.output.find("huge.bin: the file is 4 GiB or larger"), std::string::npos)
        << tooLarge.output;
    EXPECT_TRUE(OutputFolderEmpty());

    fs::remove(root / "src" / "huge.bin");
    sparse(root / "src" / "one.bin", 0x40000000ULL);
    sparse(root / "src" / "two.bin", 0x40000000ULL);
    CommandRun package = Pack(Create(""));
    EXPECT_EQ(package.status, 1);
    EXPECT_NE(package.output.find("2 GiB or larger"), std::string::npos) << package.output;
    EXPECT_TRUE(OutputFolderEmpty());
}

TEST_F(CreateCommandTest, RefusesAnythingButTheBareStub)
{
    Write(root / "src" / "a", "x");
    ASSERT_EQ(Pack(Create("")).status, 0);
    fs::rename(root / "out" / "pkg.exe", root / "package.exe");
    struct Case {
        fs::path stub;
        const char *expected;
    } cases[] = {
        {root / "package.exe", "already carries a package"},
        {fs::path(VELMOR_I686_STUB).parent_path() / "install.exe", "not the velmor stub"},
    };
    for (const Case &c : cases) {
        stub = c.stub;
        CommandRun run = Pack(Create(""));
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(c.stub.u8string() + ": "), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        EXPECT_TRUE(OutputFolderEmpty()) << c.expected;
    }
}

TEST_F(CreateCommandTest, AnExistingOutputIsLeftAloneOnFailure)
{
    Write(root / "out" / "pkg.exe", "previous package");
    Write(root / "src" / fs::u8path("\xe6\x97\xa5.txt"), "x");
    EXPECT_EQ(Pack(Create("")).status, 1);
    EXPECT_EQ(Read(root / "out" / "pkg.exe"), "previous package");
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "out"), fs::directory_iterator()), 1);
}

// The steps of create, with a source file changed or replaced after the scan found
// it: the package must not store a size that its data contradicts, nor a file the
// scan did not find there (a link swapped in while an earlier entry is packed would
// carry a file from elsewhere in, silently where the sizes agree). The failure comes
// after the output file was opened (and with several jobs, scratch files beside it);
// the output folder must still hold only what it held.
TEST_F(CreateCommandTest, AFileChangedAfterTheScanFailsAndLeavesNoTemporaryFile)
{
    auto append = [](const fs::path &path) { std::ofstream(path, std::ios::app) << "more"; };
    auto truncate = [](const fs::path &path) { fs::resize_file(path, 2); };
    // Outside the source folder, of the same size as d/b.txt.
    const fs::path outside = root / "outside";
    Write(outside / "b.txt", "KEY!");
    Write(outside / "other.txt", "KEY?");
    auto sameSize = [](const fs::path &path) {
        Write(path.u8string() + ".new", "BETA");
        fs::rename(path.u8string() + ".new", path);
    };
#ifndef _WIN32
    auto linkOutside = [&](const fs::path &path) {
        fs::remove(path);
        fs::create_symlink(outside / "b.txt", path);
    };
    auto folderToLink = [&](const fs::path &path) {
        fs::rename(path.parent_path(), root / "moved");
        fs::create_directory_symlink(outside, path.parent_path());
    };
    auto retarget = [&](const fs::path &path) {
        fs::remove(path);
        fs::create_symlink(outside / "other.txt", path);
    };
#endif
    const char *changed = "b.txt: the file changed while it was being packed";
    struct Case {
        const char *what;
        bool compress;
        std::function<void(const fs::path &)> change;
        const char *expected;
        bool linkedWithFollowLinks; // d/b.txt a link to outside/b.txt, packed with --follow-links
    } cases[] = {
        {"grown, stored", false, append, changed},
        {"grown, compressed", true, append, changed},
        {"shrunk, stored", false, truncate, changed},
        {"shrunk, compressed", true, truncate, changed},
        {"removed", false, [](const fs::path &path) { fs::remove(path); }, "b.txt: cannot open"},
        {"replaced by another file", false, sameSize, changed},
#ifndef _WIN32 // links on Windows: WindowsFilesTest
        {"replaced by a link outside, stored", false, linkOutside, changed},
        {"replaced by a link outside, compressed", true, linkOutside, changed},
        {"its folder replaced by a link", true, folderToLink, changed},
        {"its link, followed, pointed elsewhere", false, retarget, changed, true},
#endif
    };
    EntryCompressor szdd = [](uint64_t size, const ContentReader &read, const DataWriter &write) {
        SzddCompressTo(size, read, write);
    };
    for (unsigned jobs : {1u, 2u}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", -j " + std::to_string(jobs));
            fs::remove_all(root / "src");
            fs::remove_all(root / "moved");
            Write(root / "src" / "a.txt", "alpha");
            Write(root / "src" / "c.txt", "gamma");
            if (c.linkedWithFollowLinks) {
                fs::create_directories(root / "src" / "d");
                fs::create_symlink(outside / "b.txt", root / "src" / "d" / "b.txt");
            } else {
                Write(root / "src" / "d" / "b.txt", "beta");
            }
            Write(root / "out" / "pkg.exe", "previous package");
            ScanOptions scan;
            scan.followOutsideLinks = c.linkedWithFollowLinks;
            PackagePlan plan = PlanPackage(ScanSourceTree((root / "src").u8string(), scan).files, {});
            c.change(root / "src" / "d" / "b.txt");
            std::string error;
            try {
                WritePackage(plan, Read(stub), (root / "out" / "pkg.exe").u8string(), c.compress ? szdd : nullptr, {},
                             jobs);
            } catch (const PackError &e) {
                error = e.what();
            }
            EXPECT_NE(error.find(c.expected), std::string::npos) << "'" << error << "'";
            EXPECT_EQ(Listing(root / "out"), std::vector<std::string>{"pkg.exe"});
            EXPECT_EQ(Read(root / "out" / "pkg.exe"), "previous package");
        }
    }
}

} // namespace

TEST(DepfileTest, NamesWhatBuildToolsReadBackAndStandsInForTheRest)
{
    struct Case {
        std::vector<std::string> inputs;
        std::string text;     // the prerequisites, after "out.exe:"
        size_t warnings;
    } cases[] = {
        {{"src", "src/a b [1].txt", "src/naïve {x}%=@!,~+-.txt"},
         " \\\n  src \\\n  src/a\\ b\\ [1].txt \\\n  src/naïve\\ {x}%=@!,~+-.txt", 0},
        {{"src/it's", "src/a;b", "src/d$x", "src/h#h", "src/q\"q", "src/a&b"},
         " \\\n  out.exe.unlisted-input", 6},
        {{"src/notes (old)", "src/notes (old).txt", "~/x"}, " \\\n  out.exe.unlisted-input \\\n  src/notes\\ (old).txt", 2},
        {{"r.toml", "r.toml", "src"}, " \\\n  r.toml \\\n  src", 0},
        {{"sub\\a.txt", "x\\ y", "end\\", "h\\\\#"}, " \\\n  sub\\a.txt \\\n  out.exe.unlisted-input", 3},
#ifdef _WIN32
        {{"C:\\src\\a b.txt", "C:src"}, " \\\n  C:\\src\\a\\ b.txt \\\n  out.exe.unlisted-input", 1},
#else
        {{"C:\\src\\a b.txt"}, " \\\n  out.exe.unlisted-input", 1},
#endif
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.inputs.front());
        DependencyList list = MakeDependencyList("out.exe", c.inputs);
        EXPECT_EQ(list.text, "out.exe:" + c.text + "\n");
        EXPECT_EQ(list.warnings.size(), c.warnings);
    }
    EXPECT_THROW(MakeDependencyList("it's.exe", {"src"}), UsageError);
}

TEST_F(CreateCommandTest, DepfileNamesEveryFolderReadAndComesOnlyWithThePackage)
{
    Write(root / "src" / "a.txt", "alpha");
    Write(root / "src" / "sub" / "deeper" / "b.txt", "beta");
    fs::create_directories(root / "src" / "empty");
    std::string depfile = (root / "pkg.d").string();
    CommandRun run = Pack(Create("--depfile " + Quote(depfile)));
    ASSERT_EQ(run.status, 0) << run.output;
    std::string text = Read(depfile);
    std::string src = (root / "src").string();
    for (const std::string &path : {stub.string(), src, src + "/empty", src + "/sub", src + "/sub/deeper",
                                    src + "/a.txt", src + "/sub/deeper/b.txt"})
        EXPECT_TRUE(text.find("  " + path + " \\\n") != std::string::npos ||
                    text.find("  " + path + "\n") != std::string::npos) << path << " in\n" << text;
    EXPECT_EQ(text.rfind((root / "out" / "pkg.exe").string() + ":", 0), 0u) << text;

#ifdef _WIN32
    // The package under another spelling is the package, there or not before the run.
    for (bool existed : {true, false}) {
        if (!existed)
            fs::remove(root / "out" / "pkg.exe");
        CommandRun over = Pack(Create("--depfile " + Quote(root / "OUT" / "PKG.EXE")));
        EXPECT_EQ(over.status, 2) << over.output;
        EXPECT_NE(over.output.find("is the package"), std::string::npos) << over.output;
        EXPECT_EQ(Read(root / "out" / "pkg.exe").substr(0, 2), "MZ") << existed;
    }
#endif
    // A refused run leaves the last package's list as it was.
    Write(root / "src" / fs::u8path("\xe6\x97\xa5.txt"), "x");
    run = Pack(Create("--depfile " + Quote(depfile)));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(Read(depfile), text);
}
