// Closing a file descriptor, on Linux. Only the Linux build's code belongs here.
#include "descriptor.h"

#include <unistd.h>

namespace velmor {

Descriptor::~Descriptor()
{
    if (fd_ >= 0)
        close(fd_);
}

int Descriptor::Close()
{
    int result = close(fd_);
    fd_ = -1;
    return result;
}

} // namespace velmor
