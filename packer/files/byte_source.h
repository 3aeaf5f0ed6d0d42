// Random access to the bytes of a package, held in memory or read from its file.
#ifndef VELMOR_BYTE_SOURCE_H
#define VELMOR_BYTE_SOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace velmor {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Exactly count bytes from offset into buffer; offset + count never exceeds Size().
    // Throws PackError when the read fails.
    virtual void Read(uint64_t offset, void *buffer, size_t count) const = 0;
};

// A package held in memory; the bytes must outlive the source.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    void Read(uint64_t offset, void *buffer, size_t count) const override;

private:
    std::string_view bytes_;
};

// A package file, read where needed. Throws PackError when it cannot be opened or is
// not a regular file (checked before it is opened).
std::unique_ptr<ByteSource> OpenFileSource(const std::string &path);

} // namespace velmor

#endif
