// Temporary entries registered for removal, the same on every system.
#include <cstring>
#include <string>
#include "pack_error.h"
#include "temporary_files.h"
#include "temporary_registry.h"

namespace velmor {

TemporarySlot g_temporarySlots[kTemporarySlots];
std::mutex g_temporarySlotsWritten;

namespace {

// The registry written: one writer at a time, and no interruption meanwhile.
class RegistryWriting {
public:
    RegistryWriting() : lock_(g_temporarySlotsWritten) { HoldInterruptions(); }
    ~RegistryWriting() { LetInterruptionsIn(); }

private:
    std::lock_guard<std::mutex> lock_;
};

} // namespace

TemporaryEntry::TemporaryEntry(SystemHandle folder, const std::string &name, bool isFolder) : slot_(-1)
{
    if (name.size() >= sizeof g_temporarySlots[0].name)
        throw PackError(name + ": a temporary name too long");
    std::string reason;
    SystemHandle kept = KeepTemporaryFolder(folder, reason);
    if (kept == kNoHandle)
        throw PackError("cannot keep track of a temporary file: " + reason);
    {
        RegistryWriting writing;
        for (int i = 0; i < kTemporarySlots; ++i) {
            TemporarySlot &s = g_temporarySlots[i];
            if (!s.used) {
                s.folder = kept;
                s.isFolder = isFolder;
                std::memcpy(s.name, name.c_str(), name.size() + 1);
                s.used = true;
                slot_ = i;
                return;
            }
        }
    }
    CloseTemporaryFolder(kept);
    throw PackError("cannot keep track of more than 16 temporary files at once");
}

TemporaryEntry::~TemporaryEntry()
{
    if (slot_ < 0)
        return;
    TemporarySlot &s = g_temporarySlots[slot_];
    RemoveTemporaryEntry(s.folder, s.name, s.isFolder);
    Release();
}

void TemporaryEntry::Release()
{
    if (slot_ < 0)
        return;
    SystemHandle folder;
    {
        RegistryWriting writing;
        folder = g_temporarySlots[slot_].folder;
        g_temporarySlots[slot_].used = false;
    }
    CloseTemporaryFolder(folder);
    slot_ = -1;
}

} // namespace velmor
