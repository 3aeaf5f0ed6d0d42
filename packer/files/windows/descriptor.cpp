// Closing a handle, on Windows. Only the Windows build's code belongs here.
#include "descriptor.h"

#include "windows_files.h"

namespace velmor {

Descriptor::~Descriptor()
{
    if (handle_ != kNoHandle)
        CloseHandle(AsHandle(handle_));
}

bool Descriptor::Close()
{
    BOOL closed = CloseHandle(AsHandle(handle_));
    handle_ = kNoHandle;
    return closed != FALSE;
}

} // namespace velmor
