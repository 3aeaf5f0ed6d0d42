// An owned file descriptor, closed when it goes.
#ifndef VELMOR_DESCRIPTOR_H
#define VELMOR_DESCRIPTOR_H

#include <utility>

namespace velmor {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor();
    Descriptor(Descriptor &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int get() const { return fd_; }
    // Closes now, returning what close returns.
    int Close();

private:
    int fd_;
};

} // namespace velmor

#endif
