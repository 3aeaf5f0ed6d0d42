// Files and folders the system holds open for the packer, and an owner that closes one.
#ifndef VELMOR_DESCRIPTOR_H
#define VELMOR_DESCRIPTOR_H

#include <cstdint>
#include <utility>

namespace velmor {

// What the system hands out for an open file or folder: a file descriptor on Linux, a
// handle on Windows. kNoHandle stands for none (an invalid handle has that value too).
using SystemHandle = std::intptr_t;
constexpr SystemHandle kNoHandle = -1;

// An owned SystemHandle, closed when it goes.
class Descriptor {
public:
    explicit Descriptor(SystemHandle handle = kNoHandle) : handle_(handle) {}
    ~Descriptor();
    Descriptor(Descriptor &&other) noexcept : handle_(other.handle_) { other.handle_ = kNoHandle; }
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        std::swap(handle_, other.handle_);
        return *this;
    }
    SystemHandle get() const { return handle_; }
    // Closes now: true when the system reports the close done.
    bool Close();

private:
    SystemHandle handle_;
};

} // namespace velmor

#endif
