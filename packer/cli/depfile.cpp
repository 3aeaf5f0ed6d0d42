#include "depfile.h"

#include <cstring>
#include <set>
#include "pack_error.h"
#include "utf8_path.h"

namespace velmor {
namespace {

// Characters that GNU make and Ninja both take literally inside a file name, and that
// CMake passes on unchanged when it rewrites a DEPFILE for either of them.
bool ReadBackUnchanged(unsigned char c)
{
    return c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != 0 && std::strchr(" +,-./_~()[]{}%=@!", c) != nullptr);
}

std::string Escaped(const std::string &path)
{
    std::string text;
    for (char c : path)
        text += c == ' ' ? std::string("\\ ") : std::string(1, c);
    return text;
}

} // namespace

std::string DepfileUnreadableCharacter(std::string_view path)
{
    if (path.empty())
        return "";
    if (path.front() == '~')
        return "~";
    if (path.back() == ')')
        return ")";
    // A drive's colon before a separator: both tools read "C:\..." and "C:/..." where
    // the system has drives ("C:name" they would not).
    const std::string drive = PathOf(std::string(path)).root_name().u8string();
    const bool driveColon =
        drive.size() == 2 && drive[1] == ':' && path.size() > 2 && (path[2] == '\\' || path[2] == '/');
    for (size_t i = driveColon ? 2 : 0; i < path.size(); ++i) {
        if (path[i] == '\\') {
            // Backslashes are themselves, unless before a space or # or at the end
            // (where the list's own separator follows): there they escape.
            size_t after = path.find_first_not_of('\\', i);
            if (after == std::string_view::npos || path[after] == ' ' || path[after] == '#')
                return "\\";
            i = after - 1;
        } else if (!ReadBackUnchanged(static_cast<unsigned char>(path[i]))) {
            return std::string(1, path[i]);
        }
    }
    return "";
}

DependencyList MakeDependencyList(const std::string &target, const std::vector<std::string> &inputs)
{
    std::string bad = DepfileUnreadableCharacter(target);
    if (!bad.empty())
        throw UsageError("--depfile: the output " + target + " holds \"" + bad +
                         "\", which make and Ninja cannot read in a dependency file; name the output without it");
    // Missing, it keeps the output out of date; it is named after the output so that
    // it can be read back too.
    const std::string neverThere = target + ".unlisted-input";
    DependencyList list;
    list.text = Escaped(target) + ":";
    std::set<std::string> named;
    for (const std::string &input : inputs) {
        std::string listed = input;
        bad = DepfileUnreadableCharacter(input);
        if (!bad.empty()) {
            list.warnings.push_back(input + ": the path holds \"" + bad +
                                    "\", which make and Ninja cannot read in a dependency file; --depfile names " +
                                    neverThere + " in its place, which never exists, so every build packs again");
            listed = neverThere;
        }
        if (named.insert(listed).second)
            list.text += " \\\n  " + Escaped(listed);
    }
    list.text += "\n";
    return list;
}

} // namespace velmor
