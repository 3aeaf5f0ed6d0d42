// The names of temporary entries: made and read alike on every system.
#include <cstdio>
#include <cstring>
#include "temporary_files.h"

namespace velmor {
namespace {

constexpr char kPrefix[] = ".velmor-";

} // namespace

uint64_t TemporaryNameHash(const std::string &name)
{
    uint64_t hash = 0xcbf29ce484222325ULL; // FNV-1a
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string FormatTemporaryName(const std::string &target, unsigned long long idSpace, long pid,
                                unsigned long counter, const char *role)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s%016llx-%llx-%ld-%lu.%s", kPrefix,
                  static_cast<unsigned long long>(TemporaryNameHash(target)), idSpace, pid, counter, role);
    return text;
}

bool ParseTemporaryName(const std::string &name, TemporaryNameFields &fields)
{
    if (name.compare(0, sizeof kPrefix - 1, kPrefix) != 0)
        return false;
    unsigned long long hash = 0, space = 0, counter = 0;
    long pid = 0;
    int used = 0;
    const char *rest = name.c_str() + sizeof kPrefix - 1;
    if (std::strlen(rest) < 17 || std::sscanf(rest, "%16llx-%llx-%ld-%llu.%n", &hash, &space, &pid, &counter, &used) != 4 ||
        used == 0 || rest[used] == 0 || pid <= 0 || rest[16] != '-')
        return false;
    for (const char *c = rest + used; *c; ++c) {
        if (*c < 'a' || *c > 'z')
            return false;
    }
    fields = {hash, space, pid};
    return true;
}

bool IsTemporaryName(const std::string &name)
{
    TemporaryNameFields fields;
    return ParseTemporaryName(name, fields);
}

} // namespace velmor
