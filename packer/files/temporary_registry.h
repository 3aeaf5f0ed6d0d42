// The registry of temporary entries (temporary_files.h): kept here for every system,
// and read by each system's handler of interruptions, which removes what it holds.
// For the files layer's own implementations only.
#ifndef VELMOR_TEMPORARY_REGISTRY_H
#define VELMOR_TEMPORARY_REGISTRY_H

#include <atomic>
#include <mutex>
#include "descriptor.h"

namespace velmor {

struct TemporarySlot {
    std::atomic<bool> used{false}; // lock-free: read in a signal handler
    SystemHandle folder = kNoHandle; // the entry's folder, held open by the slot
    bool isFolder = false;
    char name[256] = {};
};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int kTemporarySlots = 16;
extern TemporarySlot g_temporarySlots[kTemporarySlots];
// Held by whoever writes a slot; a handler of interruptions that takes it keeps it.
extern std::mutex g_temporarySlotsWritten;

// What each system provides for the registry:
// A handle of its own to the open folder; kNoHandle, with reason set, when there is none.
SystemHandle KeepTemporaryFolder(SystemHandle folder, std::string &reason);
void CloseTemporaryFolder(SystemHandle folder);
// Removes the file, or the folder with the entries in it (one level deep), name in
// folder; nothing happens where that cannot be done.
void RemoveTemporaryEntry(SystemHandle folder, const char *name, bool isFolder);
// Between the two, no handler of interruptions runs on this thread (Linux: the
// signals are blocked); calls do not nest.
void HoldInterruptions();
void LetInterruptionsIn();

} // namespace velmor

#endif
