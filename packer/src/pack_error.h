#ifndef VELMOR_PACK_ERROR_H
#define VELMOR_PACK_ERROR_H

#include <stdexcept>
#include <string>

namespace velmor {

// Bad input or a failed file operation: the message is one line that names the file
// and the reason, printed as it stands, and the program exits with status 1.
class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string &message) : std::runtime_error(message) {}
};

} // namespace velmor

#endif
