// What writing a file means on every system, above the system's own calls.
#include "output_file.h"

#include "pack_error.h"

namespace velmor {

OutputFile::OutputFile(SystemHandle folder, const std::string &name, const std::string &shown, unsigned mode)
    : shown_(shown), folder_(folder)
{
    Create(name, mode);
}

void OutputFile::CheckWrittenSize(uint64_t held) const
{
    if (held != size_)
        throw PackError(shown_ + ": cannot finish the output file: it holds " + std::to_string(held) +
                        " bytes where " + std::to_string(size_) + " were written");
}

unsigned PermissionsForReadOnly(unsigned mode, bool readOnly)
{
    return readOnly ? mode & ~0222u : mode | 0200u;
}

} // namespace velmor
