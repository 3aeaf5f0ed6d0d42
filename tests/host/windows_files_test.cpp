// What protects the user on Windows, tried on velmor-pack.exe itself: device outputs,
// an output that is an input under another name, links leaving the tree, the
// attributes create stores, long and prefixed paths, and Ctrl+C during a create.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>
#include "child_process.h"
#include "host_support.h"

namespace {

namespace fs = std::filesystem;
using velmor::test::CommandRun;
using velmor::test::PackWords;
using velmor::test::SystemPath;

std::string Utf8(const std::wstring &text)
{
    return fs::path(text).u8string();
}

std::wstring Wide(const std::string &text)
{
    return fs::u8path(text).wstring();
}


// An empty folder of the running test below the temporary folder, as a UTF-8 path.
std::string FreshFolder()
{
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    fs::path folder = fs::path(temp) / ("velmor-windows-files-" + std::to_string(GetCurrentProcessId()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    // What an earlier run left, read-only files and long paths too, goes first.
    std::error_code error;
    fs::path whole = L"\\\\?\\" + folder.wstring();
    for (fs::recursive_directory_iterator it(whole, error), end; !error && it != end; it.increment(error))
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(whole, error);
    fs::create_directories(folder);
    return folder.u8string();
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(fs::u8path(path), std::ios::binary) << bytes;
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Names(const std::string &folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry &e : fs::directory_iterator(fs::u8path(folder)))
        names.push_back(e.path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}

// A source tree with one file, and the stub create needs.
std::string TreeWithOneFile(const std::string &folder)
{
    fs::create_directories(fs::u8path(folder + "\\tree"));
    WriteFile(folder + "\\tree\\readme.txt", "hello\n");
    return folder + "\\tree";
}

TEST(WindowsFilesTest, RefusesDeviceOutputsAndWritesNothing)
{
    const std::string folder = FreshFolder();
    const std::string tree = TreeWithOneFile(folder);
    WriteFile(folder + "\\in.txt", "some text to compress\n");
    const std::vector<std::string> before = Names(folder);
    struct Case {
        std::string output;
        bool create; // else szdd compress
    } cases[] = {
        {"NUL", false},         {"CON", false},
        {"COM1", false},        {folder + "\\nul.txt", false},
        {"\\\\.\\NUL", false},  {folder + "\\Lpt3 .log", false},
        {"NUL", true},          {folder + "\\aux.exe", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.output + (c.create ? " (create)" : " (szdd compress)"));
        CommandRun run =
            c.create ? PackWords({"create", tree, "-o", c.output, "--stub", SystemPath(VELMOR_I686_STUB)})
                     : PackWords({"szdd", "compress", folder + "\\in.txt", c.output});
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("found a device; nothing was written"), std::string::npos) << run.output;
        EXPECT_EQ(Names(folder), before);
    }
}

TEST(WindowsFilesTest, RefusesAnOutputThatIsItsInputUnderAnotherName)
{
    const std::string folder = FreshFolder();
    const std::string input = folder + "\\Readme-With-A-Long-Name.txt";
    WriteFile(input, "the only copy\n");
    std::vector<std::string> others = {folder + "\\README-WITH-A-LONG-NAME.TXT",
                                       folder + "/./Readme-With-A-Long-Name.txt", "\\\\?\\" + input};
    // The 8.3 alias, where the file system gives one.
    wchar_t alias[MAX_PATH];
    DWORD length = GetShortPathNameW(Wide(input).c_str(), alias, MAX_PATH);
    if (length > 0 && length < MAX_PATH && Utf8(std::wstring(alias, length)) != input)
        others.push_back(Utf8(std::wstring(alias, length)));
    for (const std::string &output : others) {
        SCOPED_TRACE(output);
        CommandRun run = PackWords({"szdd", "compress", input, output});
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find("which writing it would destroy"), std::string::npos) << run.output;
        EXPECT_EQ(ReadFile(input), "the only copy\n");
    }
}

// A junction at link to the folder target; false where the system makes none.
bool MakeJunction(const std::string &link, const std::string &target)
{
    if (!CreateDirectoryW(Wide(link).c_str(), nullptr))
        return false;
    HANDLE handle = CreateFileW(Wide(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    std::wstring substitute = L"\\??\\" + Wide(target), print = Wide(target);
    size_t names = (substitute.size() + print.size() + 2) * sizeof(wchar_t);
    std::vector<char> buffer(16 + names);
    auto put16 = [&](size_t at, size_t value) {
        buffer[at] = static_cast<char>(value);
        buffer[at + 1] = static_cast<char>(value >> 8);
    };
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buffer.data(), &tag, 4);
    put16(4, 8 + names);                                        // data length
    put16(10, substitute.size() * sizeof(wchar_t));             // substitute name length
    put16(12, (substitute.size() + 1) * sizeof(wchar_t));       // print name offset
    put16(14, print.size() * sizeof(wchar_t));                  // print name length
    std::memcpy(&buffer[16], substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
    std::memcpy(&buffer[16 + (substitute.size() + 1) * sizeof(wchar_t)], print.c_str(),
                (print.size() + 1) * sizeof(wchar_t));
    DWORD returned = 0;
    BOOL made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    return made && (GetFileAttributesW(Wide(link).c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}

TEST(WindowsFilesTest, LinksLeavingTheTreeAreRefusedUnlessFollowed)
{
    const std::string folder = FreshFolder();
    const std::string tree = TreeWithOneFile(folder);
    fs::create_directories(fs::u8path(folder + "\\outside"));
    WriteFile(folder + "\\outside\\secret.txt", "a key\n");
    bool junction = MakeJunction(tree + "\\junction", folder + "\\outside");
    bool fileLink = CreateSymbolicLinkW(Wide(tree + "\\secret.txt").c_str(),
                                        Wide(folder + "\\outside\\secret.txt").c_str(),
                                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
                    (GetFileAttributesW(Wide(tree + "\\secret.txt").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!junction || !fileLink)
        GTEST_SKIP() << "this system makes no junction or symbolic link that its own calls see as one";
    struct Case {
        bool follow;
        int status;
        const char *found; // in the output
    } cases[] = {
        {false, 1, "outside the source folder"},
        {false, 1, "found a symbolic link to a folder"},
        {true, 1, "found a symbolic link to a folder"}, // a link to a folder is never followed
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.found) + (c.follow ? ", with --follow-links" : ""));
        std::vector<std::string> arguments = {"create", tree, "-o", folder + "\\out.exe", "--stub",
                                              SystemPath(VELMOR_I686_STUB)};
        if (c.follow)
            arguments.push_back("--follow-links");
        CommandRun run = PackWords(arguments);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find(c.found), std::string::npos) << run.output;
    }
    // Without the junction, the file link is packed with --follow-links.
    RemoveDirectoryW(Wide(tree + "\\junction").c_str());
    CommandRun run = PackWords({"create", tree, "-o", folder + "\\out.exe", "--stub",
                                   SystemPath(VELMOR_I686_STUB), "--follow-links"});
    EXPECT_EQ(run.status, 0) << run.output;
}

TEST(WindowsFilesTest, CreateStoresAndExtractRestoresReadOnlyHiddenAndSystemAttributes)
{
    const std::string folder = FreshFolder();
    const std::string tree = folder + "\\tree";
    fs::create_directories(fs::u8path(tree));
    const struct {
        const char *name;
        DWORD attributes;
        const char *letters; // as list shows them
    } cases[] = {
        {"plain.txt", FILE_ATTRIBUTE_NORMAL, "A"},
        {"read-only.txt", FILE_ATTRIBUTE_READONLY, "R"},
        {"hidden.txt", FILE_ATTRIBUTE_HIDDEN, "HA"},
        {"system.txt", FILE_ATTRIBUTE_SYSTEM, "SA"},
        // Not read-only with them: Wine run by an ordinary user keeps hidden and system
        // beside the file, where a read-only file takes no more.
        {"hidden-system.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, "HSA"},
    };
    for (const auto &c : cases) {
        WriteFile(tree + "\\" + c.name, c.name);
        ASSERT_TRUE(SetFileAttributesW(Wide(tree + "\\" + c.name).c_str(), c.attributes));
    }
    CommandRun made = PackWords({"create", tree, "-o", folder + "\\out.exe", "--stub", SystemPath(VELMOR_I686_STUB)});
    ASSERT_EQ(made.status, 0) << made.output;
    CommandRun listed = PackWords({"list", "--json", folder + "\\out.exe"});
    ASSERT_EQ(listed.status, 0) << listed.output;
    nlohmann::json entries = nlohmann::json::parse(listed.output)["entries"];
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto entry = std::find_if(entries.begin(), entries.end(), [&](const nlohmann::json &e) {
            return e["path"] == c.name;
        });
        ASSERT_NE(entry, entries.end());
        EXPECT_EQ((*entry)["attributeLetters"], c.letters);
    }
    CommandRun extracted = PackWords({"extract", folder + "\\out.exe", folder + "\\back"});
    ASSERT_EQ(extracted.status, 0) << extracted.output;
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    for (const auto &c : cases)
        EXPECT_EQ(GetFileAttributesW(Wide(folder + "\\back\\" + c.name).c_str()) & kept, c.attributes & kept)
            << c.name;
}

TEST(WindowsFilesTest, LongAndPrefixedPathsWorkInArgumentsAndInsideTrees)
{
    const std::string folder = FreshFolder();
    // Five levels of 61 characters: every path below them is longer than 260.
    std::string levels;
    for (int level = 0; level < 5; ++level)
        levels += "\\" + std::string(55, static_cast<char>('a' + level)) + "-level";
    // The levels lie above the tree, whose own paths a package must keep short.
    const std::string deep = folder + levels + "\\tree", away = folder + "\\far" + levels;
    for (const std::string &path : {deep, away}) {
        for (size_t at = folder.size(); at != std::string::npos; at = path.find('\\', at + 1))
            CreateDirectoryW((L"\\\\?\\" + Wide(path.substr(0, path.find('\\', at + 1)))).c_str(), nullptr);
        ASSERT_NE(GetFileAttributesW((L"\\\\?\\" + Wide(path)).c_str()), INVALID_FILE_ATTRIBUTES) << path;
    }
    std::ofstream(fs::path(L"\\\\?\\" + Wide(deep + "\\deep.txt")), std::ios::binary) << "far down\n";
    const struct {
        const char *what;
        std::string source, package, destination;
    } cases[] = {
        {"long paths as given", deep, away + "\\package.exe", away + "\\out1"},
        {"with the \\\\?\\ prefix", "\\\\?\\" + deep, "\\\\?\\" + away + "\\prefixed.exe",
         "\\\\?\\" + away + "\\out2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        CommandRun run = PackWords({"create", c.source, "-o", c.package, "--stub", SystemPath(VELMOR_I686_STUB)});
        ASSERT_EQ(run.status, 0) << run.output;
        run = PackWords({"list", c.package});
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find("deep.txt"), std::string::npos) << run.output;
        run = PackWords({"extract", c.package, c.destination});
        EXPECT_EQ(run.status, 0) << run.output;
        std::wstring where = L"\\\\?\\" + Wide(away) + (c.destination.back() == '1' ? L"\\out1" : L"\\out2") +
                             L"\\deep.txt";
        EXPECT_NE(GetFileAttributesW(where.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST(WindowsFilesTest, ProgramsAreFoundAsTheCommandPromptFindsThem)
{
    const std::string pack = SystemPath(VELMOR_PACK_PATH);
    const std::string folder = pack.substr(0, pack.find_last_of('\\'));
    const std::string stem = pack.substr(folder.size() + 1, pack.size() - folder.size() - 5); // no ".exe"
    wchar_t saved[32767];
    DWORD length = GetEnvironmentVariableW(L"PATH", saved, 32767);
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", Wide("C:\\nowhere;\"" + folder + "\"").c_str()));
    const struct {
        std::string program;
        bool found;
    } cases[] = {
        {stem, true},                                  // on the PATH, with an extension of PATHEXT
        {stem + ".exe", true},                         // on the PATH, as named
        {folder + "\\" + stem, true},                  // in a folder, with an extension of PATHEXT
        {"velmor-no-such-program", false},
        {folder + "\\velmor-no-such-program.exe", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        std::optional<velmor::ProgramRun> run = velmor::RunProgram({c.program, "--version"}, "");
        ASSERT_EQ(run.has_value(), c.found);
        if (run) {
            EXPECT_EQ(run->status, 0);
            EXPECT_EQ(run->output.rfind("velmor-pack ", 0), 0u) << run->output;
        }
    }
    SetEnvironmentVariableW(L"PATH", length > 0 ? saved : nullptr);
}

// Delivers a console control event to the process as a console does: by running the
// system's control routine in it on a thread of its own. False where the system does
// not let a process name that routine.
bool SendControlEvent(HANDLE process, DWORD event)
{
    auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    if (routine == nullptr)
        return false;
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, routine, reinterpret_cast<void *>(uintptr_t{event}), 0,
                                       nullptr);
    if (thread == nullptr)
        return false;
    CloseHandle(thread);
    return true;
}

constexpr DWORD kKilled = 0xFFFFFFFF;

TEST(WindowsFilesTest, AnInterruptedCreateLeavesNoTemporaryFile)
{
    const std::string folder = FreshFolder();
    const std::string tree = folder + "\\tree";
    fs::create_directories(fs::u8path(tree));
    // Enough to compress that the run is interrupted in the middle of it.
    std::string bytes(8 << 20, '\0');
    uint32_t state = 1;
    for (char &b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>((state >> 16) & 0x3F);
    }
    for (int i = 0; i < 8; ++i)
        WriteFile(tree + "\\part" + std::to_string(i) + ".bin", bytes);
    std::wstring command = L"\"" + Wide(SystemPath(VELMOR_PACK_PATH)) + L"\" create \"" + Wide(tree) + L"\" -o \"" +
                           Wide(folder) + L"\\out.exe\" --compress --best --jobs 1 --stub \"" +
                           Wide(SystemPath(VELMOR_I686_STUB)) + L"\"";
    const struct {
        const char *what;
        DWORD event; // kKilled: ended from outside, with no chance to clean up
    } cases[] = {{"Ctrl+C", CTRL_C_EVENT},
                 {"Ctrl+Break", CTRL_BREAK_EVENT},
                 {"the console closed", CTRL_CLOSE_EVENT},
                 {"killed", kKilled}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        // Interrupted once its temporary package exists.
        bool writing = false;
        for (int wait = 0; wait < 600 && !writing; ++wait) {
            for (const std::string &name : Names(folder))
                writing = writing || name.rfind(".velmor-", 0) == 0;
            if (!writing)
                Sleep(50);
        }
        EXPECT_TRUE(writing) << "no temporary package appeared";
        if (c.event == kKilled) {
            // What it leaves goes with the next run to that output.
            TerminateProcess(process.hProcess, 1);
            EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
            EXPECT_GT(Names(folder).size(), 1u) << "a killed run cannot clean up";
            CommandRun next =
                PackWords({"create", tree, "-o", folder + "\\out.exe", "--stub", SystemPath(VELMOR_I686_STUB)});
            EXPECT_EQ(next.status, 0) << next.output;
            EXPECT_EQ(Names(folder), (std::vector<std::string>{"out.exe", "tree"}));
            continue;
        }
        bool sent = SendControlEvent(process.hProcess, c.event);
        if (!sent)
            TerminateProcess(process.hProcess, 1);
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        if (!sent)
            GTEST_SKIP() << "no way to send a console control event on this system";
        EXPECT_EQ(code, 0xC000013Au); // as Ctrl+C ends a program
        EXPECT_EQ(Names(folder), std::vector<std::string>{"tree"});
    }
}

} // namespace
