// An INI file read the way the Windows profile-string functions read it, for what the
// launcher's lookup needs: sections and keys found without regard to ASCII letter case,
// white space around names and values dropped, the first section of a name and the
// first key of a name in it the only ones looked at, and one pair of matching quotes
// around a value removed.
#ifndef VELMOR_PACK_PROFILE_FILE_H
#define VELMOR_PACK_PROFILE_FILE_H

#include <optional>
#include <string>
#include <vector>

namespace velmor {

// One line of a profile that is not blank, as the profile functions take it apart.
struct ProfileLine {
    unsigned number = 0;  // counted from 1; CR LF ends one line
    bool opensSection = false;
    bool hasEquals = false; // a key line with '=' (without, the whole line names the key)
    std::string name;     // the section's or the key's, white space around it dropped
    std::string value;    // a key's value, white space around it dropped, quotes kept
};

class ProfileFile {
public:
    // The lines of text that are not blank, by the rules Parse describes, the lines
    // before the first section included.
    static std::vector<ProfileLine> Lines(const std::string &text);

    // A value as the profile functions return it: one pair of matching quotes removed.
    static std::string Unquoted(const std::string &value);

    // Lines end at CR, LF or both; a UTF-8 byte-order mark at the start is skipped.
    // A line that starts with '[' and holds a ']' opens a section named by what lies
    // between the '[' and the last ']'; any other line is a key, named by what stands
    // before its first '=' (the whole line when there is none). Lines before the
    // first section belong to none. Nothing is rejected: every text is some profile.
    static ProfileFile Parse(const std::string &text);

    // Whether the bytes begin with a UTF-16 byte-order mark (FF FE or FE FF).
    static bool IsUtf16(const std::string &bytes);

    // The text that the ANSI profile functions of the NT family read from a file's
    // bytes: a UTF-16 file (by its byte-order mark) in the system's code page, with '?'
    // for what the code page cannot represent; any other file as it is. The 95 family
    // reads every file as it is, so that a UTF-16 file holds no section for it.
    static std::string TextForNt(const std::string &bytes, int codePage);

    // The value of key in section, quotes removed; nullopt when the first section of
    // that name has no such key or there is no such section. A key line without '='
    // has the empty value.
    std::optional<std::string> Find(const std::string &section, const std::string &key) const;

    // The names of the sections, in the order they appear.
    std::vector<std::string> SectionNames() const;

    // The key names of the first section of that name, in the order they appear
    // (repeated names included); empty when there is no such section.
    std::vector<std::string> Keys(const std::string &section) const;

    // Whether the names are the same for the profile functions (ASCII letter case aside).
    static bool SameName(const std::string &a, const std::string &b);

private:
    struct Entry {
        std::string name;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    // The first section of that name (trimmed), or null.
    const Section *FindSection(const std::string &name) const;

    std::vector<Section> sections_;
};

// GetPrivateProfileStringA with no default over a parsed file: copies the value, cut
// at a zero byte and to size - 1 characters, zero-terminated, into result (an empty
// string when it is missing) and returns the number of characters copied.
unsigned ReadProfileString(const ProfileFile &file, const char *section, const char *key,
                           char *result, unsigned size);

} // namespace velmor

#endif
