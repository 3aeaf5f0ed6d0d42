// What writing a file means on every system, above the system's own calls.
#include "output_file.h"

namespace velmor {

OutputFile::OutputFile(SystemHandle folder, const std::string &name, const std::string &shown, unsigned mode)
    : shown_(shown), folder_(folder)
{
    Create(name, mode);
}

unsigned PermissionsForReadOnly(unsigned mode, bool readOnly)
{
    return readOnly ? mode & ~0222u : mode | 0200u;
}

} // namespace velmor
