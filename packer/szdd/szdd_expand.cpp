#include "szdd_expand.h"

namespace velmor {

std::string SzddExpand(std::string_view szddFile, std::string_view name)
{
    std::string expanded;
    MemorySource source(szddFile);
    SzddExpandTo(source, 0, szddFile.size(),
                 [&expanded](const char *bytes, size_t count) { expanded.append(bytes, count); }, name);
    return expanded;
}

} // namespace velmor
