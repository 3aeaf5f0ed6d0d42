// The processors this process may use, on Windows. Only the Windows build's code belongs here.
#include "ordered_work.h"

#include <bitset>
#include "windows_files.h"

namespace velmor {

unsigned AvailableCores()
{
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0)
        return static_cast<unsigned>(std::bitset<sizeof(DWORD_PTR) * 8>(process).count());
    DWORD cores = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return cores > 0 ? cores : 1;
}

} // namespace velmor
