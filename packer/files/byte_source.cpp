#include "byte_source.h"

#include <cstring>
#include "pack_error.h"

namespace velmor {

void MemorySource::Read(uint64_t offset, void *buffer, size_t count) const
{
    if (offset > bytes_.size() || count > bytes_.size() - offset)
        throw PackError("read past the end of the package");
    std::memcpy(buffer, bytes_.data() + offset, count);
}

} // namespace velmor
