// The processors this process may use, on Linux. Only the Linux build's code belongs here.
#include "ordered_work.h"

#include <sched.h>
#include <thread>

namespace velmor {

unsigned AvailableCores()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

} // namespace velmor
