// What writing a file means on every system, above the system's own calls.
#include "output_file.h"

namespace velmor {

unsigned PermissionsForReadOnly(unsigned mode, bool readOnly)
{
    return readOnly ? mode & ~0222u : mode | 0200u;
}

} // namespace velmor
