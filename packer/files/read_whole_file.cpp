// What reading a file means on every system, above the system's own calls.
#include "input_file.h"

namespace velmor {

size_t InputFile::ReadFull(char *buffer, size_t count)
{
    size_t used = 0;
    while (used < count) {
        size_t n = Read(buffer + used, count - used);
        if (n == 0)
            break;
        used += n;
    }
    return used;
}

std::string ReadWholeFile(const std::string &path, uint64_t maxSize)
{
    InputFile file(path, maxSize);
    std::string data(static_cast<size_t>(file.size()), '\0');
    // A file that grows while it is read is read up to its size when it was opened.
    data.resize(file.ReadFull(data.data(), data.size()));
    return data;
}

} // namespace velmor
