// Paths as the packer holds them, UTF-8 text, and as std::filesystem holds them: in
// the system's own characters, which on Windows are UTF-16. The narrow constructor
// and string() of std::filesystem::path do not convert UTF-8 there, so every path
// goes in and out through these two.
#ifndef VELMOR_UTF8_PATH_H
#define VELMOR_UTF8_PATH_H

#include <filesystem>
#include <string>

namespace velmor {

inline std::filesystem::path PathOf(const std::string &utf8)
{
    return std::filesystem::u8path(utf8);
}

inline std::string TextOf(const std::filesystem::path &path)
{
    return path.u8string();
}

} // namespace velmor

#endif
