// Closing a file descriptor, on Linux. Only the Linux build's code belongs here.
#include "descriptor.h"

#include <unistd.h>

namespace velmor {

Descriptor::~Descriptor()
{
    if (handle_ >= 0)
        close(static_cast<int>(handle_));
}

bool Descriptor::Close()
{
    int result = close(static_cast<int>(handle_));
    handle_ = kNoHandle;
    return result == 0;
}

} // namespace velmor
