#include "extraction_fixture.h"

#include <gtest/gtest.h>
#include "archive_reader.h"
#include "stub_state.h"
#include "extract_run.h"
#include "install_log.h"

namespace velmor::test {
namespace {

const char kImage[] = "MZ stand-in for the executable image";

void RecordStart(void *context, DWORD index, const char *fileName)
{
    static_cast<PackageRun *>(context)->started.emplace_back(index, fileName);
}

void RecordDispatch(void *context)
{
    auto *run = static_cast<PackageRun *>(context);
    ++run->dispatched;
    if (run->cancelAt && run->started.back().first == run->cancelAt)
        g_stub.cancelRequested = 1;
}

int ReadCancelFlag(void *context)
{
    ++static_cast<PackageRun *>(context)->cancelQueries;
    return g_stub.cancelRequested != 0;
}

void CollectPath(const char *path, void *context)
{
    static_cast<std::vector<std::string> *>(context)->push_back(path);
}

std::vector<std::string> SplitDoubleZeroList(const char *list, DWORD length)
{
    std::vector<std::string> names;
    for (DWORD i = 0; i < length && list[i];) {
        names.emplace_back(list + i);
        i += static_cast<DWORD>(names.back().size()) + 1;
    }
    return names;
}

TrailerFields WithEntryCount(TrailerFields trailer, size_t count)
{
    trailer.entryCount = static_cast<uint32_t>(count);
    return trailer;
}

} // namespace

DWORD PackageRun::DataOffset()
{
    return sizeof kImage - 1;
}

PackageRun::PackageRun(const std::vector<TestEntry> &entries, TrailerFields trailer,
                       const std::string &destination)
    : PackageRun(EncodeDataArea(entries), WithEntryCount(trailer, entries.size()), destination)
{
}

PackageRun::PackageRun(const std::string &dataArea, TrailerFields trailer,
                       const std::string &destination)
{
    trailer.defaultFolder = destination.empty() ? folder_ / "DEST" : destination;
    std::string package = folder_ / "PKG.EXE";
    WriteWholeFile(package, BuildPackage(kImage, dataArea, trailer));
    CreateDirectoryA(WindowsDirectory().c_str(), nullptr);

    ResetStubState();
    lstrcpyA(g_stub.windowsDirectory, WindowsDirectory().c_str());
    lstrcpyA(g_stub.installLogPath, LogPath().c_str());
    g_stub.archive = CreateFileA(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(g_stub.archive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadTrailer(g_stub.archive, &g_stub.trailer), 1);
    SetFilePointer(g_stub.archive, static_cast<LONG>(g_stub.trailer.dataOffset), nullptr,
                   FILE_BEGIN);
}

PackageRun::~PackageRun()
{
    if (g_stub.archive != INVALID_HANDLE_VALUE)
        CloseHandle(g_stub.archive);
    ResetStubState();
}

int PackageRun::Run(DWORD cancelAtIndex)
{
    cancelAt = cancelAtIndex;
    ExtractHooks hooks;
    hooks.entryStarted = RecordStart;
    hooks.dispatchPendingMessages = RecordDispatch;
    hooks.cancelRequested = ReadCancelFlag;
    hooks.context = this;
    return ExtractAll(&hooks);
}

std::string PackageRun::Destination() const
{
    return g_stub.trailer.defaultFolder;
}

std::string PackageRun::InDestination(const std::string &relative) const
{
    std::string path = Destination();
    if (path.back() != '\\')
        path += '\\';
    return path + relative;
}

DWORD PackageRun::ArchivePosition() const
{
    return SetFilePointer(g_stub.archive, 0, nullptr, FILE_CURRENT);
}

std::string LogValue(const std::string &log, const char *section, const std::string &key)
{
    char value[512];
    GetPrivateProfileStringA(section, key.c_str(), "", value, sizeof value, log.c_str());
    return value;
}

std::vector<std::string> LogNames(const std::string &log, const char *section)
{
    std::vector<char> list(8192);
    DWORD length = section ? GetPrivateProfileStringA(section, nullptr, "", list.data(),
                                                      static_cast<DWORD>(list.size()), log.c_str())
                           : GetPrivateProfileSectionNamesA(list.data(),
                                                            static_cast<DWORD>(list.size()),
                                                            log.c_str());
    return SplitDoubleZeroList(list.data(), length);
}

std::vector<std::string> WalkedFiles()
{
    std::vector<std::string> paths;
    WalkExtractedFiles(CollectPath, &paths);
    return paths;
}

std::vector<std::string> WalkedDirectories()
{
    std::vector<std::string> paths;
    WalkCreatedDirectories(CollectPath, &paths);
    return paths;
}

FileTimes TimesOf(const std::string &path)
{
    FileTimes times;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot open " << path;
        return times;
    }
    FILETIME creation, lastAccess, lastWrite;
    if (GetFileTime(file, &creation, &lastAccess, &lastWrite)) {
        times.creation = FileTimeValue(creation);
        times.lastAccess = FileTimeValue(lastAccess);
        times.lastWrite = FileTimeValue(lastWrite);
    }
    CloseHandle(file);
    return times;
}

DWORD AttributesOf(const std::string &path)
{
    return GetFileAttributesA(path.c_str());
}

} // namespace velmor::test
