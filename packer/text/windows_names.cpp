#include "windows_names.h"

#include <cctype>
#include "codepage.h"
#include "name_rule.h"
#include "pack_error.h"

namespace velmor {
namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The character step of name_rule.h for a code page: a lead byte with the zero
// byte behind it is a cut character.
const char *NextInCodePage(const char *text, void *context)
{
    int codePage = *static_cast<const int *>(context);
    if (!IsDoubleByteLead(static_cast<unsigned char>(text[0]), codePage))
        return text + 1;
    return text[1] ? text + 2 : nullptr;
}

// The text check of name_rule.h: the name decodes from the code page as Windows'
// tables decode it.
int IsTextInCodePage(const char *name, void *context)
{
    return DecodeFromCodePage(name, *static_cast<const int *>(context)).has_value();
}

// Whether the code page writes the superscript digits one to three as B9, B2, B3.
bool WritesSuperscriptDigits(int codePage)
{
    return DecodeFromCodePage("\xB9\xB2\xB3", codePage) == std::optional<std::string>("\u00B9\u00B2\u00B3");
}

} // namespace

bool IsDoubleByteLead(unsigned char c, int codePage)
{
    switch (codePage) {
    case 932:
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950:
        return c >= 0x81 && c <= 0xFE;
    default:
        return false;
    }
}

int CheckNameInCodePage(std::string_view name, bool levelsAllowed, int codePage)
{
    std::string text(name.substr(0, name.find('\0')));
    CharStep step = {NextInCodePage, &codePage, WritesSuperscriptDigits(codePage), IsTextInCodePage};
    return ::CheckName(text.c_str(), levelsAllowed ? kPathForm : kFileNameForm, &step);
}

bool NameStaysInside(std::string_view name, bool levelsAllowed, int codePage)
{
    return CheckNameInCodePage(name, levelsAllowed, codePage) == kNameAccepted;
}

std::string NameRefusal(int check, bool levelsAllowed)
{
    switch (check) {
    case kNameIsDevice:
        return "is reserved for a device on Windows (CON, NUL, COM1, LPT1 and the like): its data would go to the device";
    case kNameCharacterCut:
        return "ends in half a double-byte character";
    case kNameNotText:
        return "is not text in the package's code page: Windows would write another name";
    case kNameNotCreatable:
        return std::string("holds a character Windows does not allow in file names, or ") +
               (levelsAllowed ? "a level that ends" : "ends") + " in a dot or a space, which Windows drops";
    default:
        return levelsAllowed ? "would leave the destination folder"
                             : "is not a plain name (a path, a colon, or only dots and spaces)";
    }
}

bool EndsInBackslash(const std::string &text, int codePage)
{
    bool last = false;
    for (size_t i = 0; i < text.size();) {
        last = text[i] == '\\';
        i += IsDoubleByteLead(static_cast<unsigned char>(text[i]), codePage) && i + 1 < text.size() ? 2 : 1;
    }
    return last;
}

std::string JoinBelowFolder(const std::string &folder, const std::string &relative, int codePage)
{
    if (folder.empty() || EndsInBackslash(folder, codePage))
        return folder + relative;
    return folder + "\\" + relative;
}

std::string FoldCase(const std::string &text, int codePage)
{
    if (auto decoded = DecodeFromCodePage(text, codePage))
        return FoldUtf8Case(*decoded);
    std::string out = text;
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::vector<std::string> SplitLevels(const std::string &path, int codePage)
{
    std::vector<std::string> levels(1);
    for (size_t i = 0; i < path.size();) {
        bool lead = IsDoubleByteLead(static_cast<unsigned char>(path[i]), codePage) && i + 1 < path.size();
        if (!lead && IsSeparator(path[i]))
            levels.emplace_back();
        else
            levels.back().append(path, i, lead ? 2 : 1);
        i += lead ? 2 : 1;
    }
    return levels;
}

std::string WithoutTrailingDotsAndSpaces(std::string level)
{
    // Neither byte is ever the second byte of a double-byte character.
    while (!level.empty() && (level.back() == '.' || level.back() == ' '))
        level.pop_back();
    return level;
}

std::vector<std::string> ResolvedLevels(const std::string &path, int codePage)
{
    std::vector<std::string> levels;
    for (const std::string &level : SplitLevels(path, codePage)) {
        std::string resolved = WithoutTrailingDotsAndSpaces(level);
        if (!resolved.empty())
            levels.push_back(resolved);
    }
    return levels;
}

std::string ComparablePath(const std::string &path, int codePage)
{
    std::string out;
    for (const std::string &level : ResolvedLevels(path, codePage))
        out += (out.empty() ? "" : "\\") + level;
    return FoldCase(out, codePage);
}

bool IsShortName(std::string_view name)
{
    constexpr std::string_view kNotInShortNames = "\"*+,./:;<=>?[\\]|";
    size_t dot = name.find('.');
    std::string_view base = name.substr(0, dot);
    std::string_view extension = dot == std::string_view::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3 || (dot != std::string_view::npos && extension.empty()))
        return false;
    for (std::string_view part : {base, extension}) {
        for (unsigned char c : part) {
            if (c <= ' ' || c > '~' || kNotInShortNames.find(static_cast<char>(c)) != std::string_view::npos)
                return false;
        }
    }
    return true;
}

bool HasShortAliasForm(std::string_view name)
{
    std::string_view base = name.substr(0, name.find('.'));
    size_t tilde = base.rfind('~');
    if (!IsShortName(name) || tilde == std::string_view::npos || tilde == 0 || tilde > 6 || tilde + 1 == base.size())
        return false;
    return base.find_first_not_of("0123456789", tilde + 1) == std::string_view::npos;
}

std::vector<NameClash> WindowsNameIndex::Add(const std::string &path, size_t id)
{
    std::vector<NameClash> clashes;
    std::vector<std::string> levels = ResolvedLevels(path, codePage_);
    const std::string comparable = ComparablePath(path, codePage_);
    auto [file, added] = files_.emplace(comparable, id);
    if (!added)
        clashes.push_back({NameClash::SameFile, id, file->second, "", ""});
    if (auto owner = folderOwners_.find(comparable); owner != folderOwners_.end())
        clashes.push_back({NameClash::FileIsFolder, id, owner->second, "", ""});
    std::vector<NameClash> aliasClashes;
    std::string folder; // the levels so far, folded: the folder the next level lies in
    for (size_t i = 0; i < levels.size(); ++i) {
        for (NameClash &clash : AddName(folder, levels[i], id))
            aliasClashes.push_back(std::move(clash));
        folder += (folder.empty() ? "" : "\\") + FoldCase(levels[i], codePage_);
        if (i + 1 == levels.size())
            break;
        auto earlierFile = files_.find(folder);
        if (folderOwners_.emplace(folder, id).second && earlierFile != files_.end())
            clashes.push_back({NameClash::FolderIsFile, id, earlierFile->second, "", ""});
    }
    clashes.insert(clashes.end(), aliasClashes.begin(), aliasClashes.end());
    return clashes;
}

std::vector<NameClash> WindowsNameIndex::AddName(const std::string &folder, const std::string &name, size_t id)
{
    Folder &f = folders_[folder];
    if (!f.names.insert(FoldCase(name, codePage_)).second)
        return {};
    std::vector<NameClash> clashes;
    if (HasShortAliasForm(name)) {
        if (f.firstLong)
            clashes.push_back({NameClash::ShortAlias, id, f.firstLong->id, name, f.firstLong->name});
        else
            f.waitingAliases.push_back({id, name});
    } else if (!IsShortName(name) && !f.firstLong) {
        f.firstLong = Named{id, name};
        for (const Named &alias : f.waitingAliases)
            clashes.push_back({NameClash::ShortAlias, alias.id, id, alias.name, name});
        f.waitingAliases.clear();
    }
    return clashes;
}

std::optional<size_t> WindowsNameIndex::Find(const std::string &path) const
{
    auto it = files_.find(ComparablePath(path, codePage_));
    return it == files_.end() ? std::nullopt : std::optional<size_t>(it->second);
}

void CheckCreatableName(const std::string &name, const std::string &where)
{
    for (unsigned char c : name) {
        if (c == 0 || IsForbiddenNameCharacter(c) || c == ':' || IsSeparator(static_cast<char>(c)))
            throw PackError(where + ": the name holds a character Windows does not allow in file names: '" +
                            std::string(1, static_cast<char>(c)) + "'");
    }
    if (name.back() == '.' || name.back() == ' ')
        throw PackError(where + ": Windows drops a trailing dot or space from file names");
}

} // namespace velmor
