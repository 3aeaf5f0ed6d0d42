// Case folding on Linux, through ICU's Unicode tables. Only the Linux build's code
// belongs here.
#include "case_folding.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include "codepage.h"

namespace velmor {

std::string FoldUtf8Case(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t length = Utf8SequenceLength(text.substr(i));
        if (length == 0) {
            out += text[i++];
            continue;
        }
        UChar32 c = 0;
        U8_NEXT_UNSAFE(reinterpret_cast<const uint8_t *>(text.data()), i, c);
        // Windows folds UTF-16 code units one by one: characters beyond the Basic
        // Multilingual Plane, stored as two surrogates, keep their case.
        if (c <= 0xFFFF)
            c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
        char encoded[U8_MAX_LENGTH];
        int32_t used = 0;
        U8_APPEND_UNSAFE(encoded, used, c);
        out.append(encoded, static_cast<size_t>(used));
    }
    return out;
}

} // namespace velmor
