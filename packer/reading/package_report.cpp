#include "package_report.h"

#include <algorithm>
#include <cstdio>
#include "package_layout.h"
#include "codepage.h"
#include "filetime.h"

namespace velmor {
namespace {

std::string Hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

const char *ModeName(uint8_t mode)
{
    return mode == kModeExtract ? "extract" : mode == kModeSetup ? "setup" : "invalid";
}

// The description's lines, CR LF or LF apart.
std::vector<std::string> DescriptionLines(const std::string &description, int codePage)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= description.size()) {
        size_t end = description.find('\n', start);
        std::string line = description.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(DisplayText(line, codePage));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

std::string ScalarText(const Json &value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The value on one line: ", " between members and elements, ": " after a key.
std::string InlineJson(const Json &value)
{
    if (!value.is_structured())
        return ScalarText(value);
    std::string out;
    for (auto it = value.begin(); it != value.end(); ++it) {
        if (!out.empty())
            out += ", ";
        if (value.is_object())
            out += ScalarText(it.key()) + ": ";
        out += InlineJson(it.value());
    }
    return value.is_object() ? "{" + out + "}" : "[" + out + "]";
}

} // namespace

std::string DisplayText(const std::string &ansi, int codePage)
{
    auto escape = [](unsigned char c) { return "\\x" + Hex(c, 2); };
    bool plain = std::none_of(ansi.begin(), ansi.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
    if (plain) {
        if (auto decoded = DecodeFromCodePage(ansi, codePage))
            return *decoded;
    }
    // Character by character: what decodes is shown, the rest escaped.
    std::string out;
    for (size_t i = 0; i < ansi.size();) {
        auto c = static_cast<unsigned char>(ansi[i]);
        if (c < 0x20 || c == 0x7F) {
            out += escape(c);
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (auto one = DecodeFromCodePage(ansi.substr(i, 1), codePage)) {
            out += *one;
            ++i;
        } else if (i + 1 < ansi.size() && static_cast<unsigned char>(ansi[i + 1]) >= 0x20) {
            if (auto two = DecodeFromCodePage(ansi.substr(i, 2), codePage)) {
                out += *two;
                i += 2;
            } else {
                out += escape(c);
                ++i;
            }
        } else {
            out += escape(c);
            ++i;
        }
    }
    return out;
}

std::string AttributesText(uint32_t attributes)
{
    static const struct {
        uint32_t bit;
        char letter;
    } known[] = {{0x01, 'R'}, {0x02, 'H'}, {0x04, 'S'}, {0x20, 'A'}};
    std::string text;
    uint32_t rest = attributes;
    for (const auto &k : known) {
        if (attributes & k.bit) {
            text += k.letter;
            rest &= ~k.bit;
        }
    }
    if (rest)
        text += (text.empty() ? "" : "+") + ("0x" + Hex(rest, 1));
    return text.empty() ? "-" : text;
}

std::string FileTimeText(uint64_t fileTime, bool iso)
{
    const CivilTime t = CivilFromUnix(UnixFromFileTime(fileTime));
    char text[64];
    std::snprintf(text, sizeof text, iso ? "%04lld-%02u-%02uT%02u:%02u:%02uZ" : "%04lld-%02u-%02u %02u:%02u:%02u",
                  static_cast<long long>(t.year), t.month, t.day, t.hour, t.minute, t.second);
    return text;
}

std::string ProblemLine(const PackageProblem &problem, int codePage)
{
    if (problem.index == 0)
        return problem.what;
    std::string line = "entry " + std::to_string(problem.index);
    if (!problem.path.empty())
        line += " (" + DisplayText(problem.path, codePage) + ")";
    return line + ": " + problem.what;
}

std::string ListText(const PackageContents &c, int codePage)
{
    std::string out;
    auto field = [&out](const char *name, const std::string &value) {
        char label[24];
        std::snprintf(label, sizeof label, "%-15s", name);
        out += label + value + "\n";
    };
    field("Mode", std::string(ModeName(c.mode)) + " (" + std::to_string(c.mode) + ")");
    field("Compressed", c.compressed() ? "yes, every entry is an SZDD file" : "no");
    field("Setup program", c.setupProgram.empty() ? "(none)" : DisplayText(c.setupProgram, codePage));
    field("Folder", c.defaultFolder.empty() ? "(none: the stub chooses one)"
                                            : DisplayText(c.defaultFolder, codePage));
    std::vector<std::string> lines = DescriptionLines(c.description, codePage);
    for (size_t i = 0; i < lines.size(); ++i)
        field(i == 0 ? "Description" : "", lines[i]);
    if (!c.certificateTable) {
        field("Signature", "none");
    } else if (!c.signature.read) {
        field("Signature", "present, but it cannot be read; see velmor-pack verify");
    } else {
        const SignatureFacts &s = c.signature;
        field("Signature", s.digestAlgorithm + (s.DigestMatches() ? " digest matches the file"
                                                                  : " digest DOES NOT MATCH the file") +
                               (s.signatureValid ? "" : "; the signer's signature does not hold"));
        field("Signer", s.signer.empty() ? "(no certificate)" : s.signer);
        if (!s.issuer.empty())
            field("Issued by", s.issuer + ", valid until " + s.validUntil);
        field("Timestamp", s.timestamp.empty() ? "none" : s.timestamp + " by " + s.timestampAuthority);
    }
    field("Entries", std::to_string(c.entryCount) + " (data from offset " + std::to_string(c.dataOffset) +
                         ", package of " + std::to_string(c.fileSize) + " bytes)");
    if (c.entries.empty())
        return out;

    size_t sizeWidth = 4;
    size_t expandedWidth = 8;
    size_t indexWidth = std::max<size_t>(1, std::to_string(c.entries.back().index).size());
    for (const PackageEntry &e : c.entries) {
        sizeWidth = std::max(sizeWidth, std::to_string(e.dataSize).size());
        if (e.expandedSize)
            expandedWidth = std::max(expandedWidth, std::to_string(*e.expandedSize).size());
    }
    auto row = [&](const std::string &index, const std::string &size, const std::string &expanded,
                   const std::string &attributes, const std::string &written, const std::string &path) {
        char text[128];
        std::snprintf(text, sizeof text, "%*s  %*s  ", static_cast<int>(indexWidth), index.c_str(),
                      static_cast<int>(sizeWidth), size.c_str());
        out += text;
        if (c.compressed()) {
            std::snprintf(text, sizeof text, "%*s  ", static_cast<int>(expandedWidth), expanded.c_str());
            out += text;
        }
        std::snprintf(text, sizeof text, "%-5s %-19s  ", attributes.c_str(), written.c_str());
        out += text + path + "\n";
    };
    out += "\n";
    row("#", "Size", "Expanded", "Attr", "Last write (UTC)", "Path");
    for (const PackageEntry &e : c.entries)
        row(std::to_string(e.index), std::to_string(e.dataSize),
            e.expandedSize ? std::to_string(*e.expandedSize) : "?", AttributesText(e.attributes),
            FileTimeText(e.lastWriteTime), DisplayText(e.path, codePage));
    return out;
}

const char *ProblemKindName(ProblemKind kind)
{
    switch (kind) {
    case ProblemKind::Structure:
        return "structure";
    case ProblemKind::Name:
        return "name";
    case ProblemKind::Length:
        return "length";
    case ProblemKind::Content:
        return "content";
    case ProblemKind::Duplicate:
        return "duplicate";
    case ProblemKind::Setup:
        return "setup";
    case ProblemKind::Signature:
        return "signature";
    case ProblemKind::Stub:
        return "stub";
    case ProblemKind::Time:
        return "time";
    }
    return "other";
}

Json SignatureJson(const PackageContents &c)
{
    if (!c.certificateTable)
        return nullptr;
    const SignatureFacts &s = c.signature;
    auto optional = [](const std::string &text) { return text.empty() ? Json() : Json(text); };
    return Json{{"readable", s.read},
                {"digestAlgorithm", optional(s.digestAlgorithm)},
                {"digestMatches", s.DigestMatches()},
                {"signatureValid", s.signatureValid},
                {"signer", optional(s.signer)},
                {"issuer", optional(s.issuer)},
                {"validUntil", optional(s.validUntil)},
                {"timestamp", optional(s.timestamp)},
                {"timestampAuthority", optional(s.timestampAuthority)}};
}

Json ListJson(const PackageContents &c, int codePage)
{
    auto text = [codePage](const std::string &ansi) { return DisplayText(ansi, codePage); };
    std::string description;
    for (const std::string &line : DescriptionLines(c.description, codePage))
        description += (description.empty() ? "" : "\n") + line;
    if (c.description.empty())
        description.clear();

    Json entries = Json::array();
    for (const PackageEntry &e : c.entries) {
        entries.push_back({{"index", e.index},
                           {"path", text(e.path)},
                           {"directory", text(e.directory)},
                           {"name", text(e.fileName)},
                           {"size", e.dataSize},
                           {"expandedSize", e.expandedSize ? Json(*e.expandedSize) : Json()},
                           {"attributes", e.attributes},
                           {"attributeLetters", AttributesText(e.attributes)},
                           {"creationTime", FileTimeText(e.creationTime, true)},
                           {"lastAccessTime", FileTimeText(e.lastAccessTime, true)},
                           {"lastWriteTime", FileTimeText(e.lastWriteTime, true)},
                           {"fileTimes", {e.creationTime, e.lastAccessTime, e.lastWriteTime}}});
    }
    Json problems = Json::array();
    for (const PackageProblem &p : c.problems)
        problems.push_back(
            {{"index", p.index}, {"path", text(p.path)}, {"kind", ProblemKindName(p.kind)}, {"message", p.what}});
    return Json{{"packageSize", c.fileSize},
                {"mode", ModeName(c.mode)},
                {"modeValue", static_cast<unsigned>(c.mode)},
                {"compressed", c.compressed()},
                {"setupProgram", text(c.setupProgram)},
                {"folder", text(c.defaultFolder)},
                {"description", description},
                {"entryCount", c.entryCount},
                {"dataOffset", c.dataOffset},
                {"signature", SignatureJson(c)},
                {"entries", entries},
                {"problems", problems}};
}

std::string JsonText(const Json &value)
{
    if (!value.is_object() || value.empty())
        return InlineJson(value) + "\n";
    std::string out = "{";
    for (auto it = value.begin(); it != value.end(); ++it) {
        out += (it == value.begin() ? "\n  " : ",\n  ") + ScalarText(it.key()) + ": ";
        const Json &member = it.value();
        if (!member.is_array() || member.empty()) {
            out += InlineJson(member);
            continue;
        }
        out += "[";
        for (auto element = member.begin(); element != member.end(); ++element)
            out += (element == member.begin() ? "\n    " : ",\n    ") + InlineJson(*element);
        out += "\n  ]";
    }
    return out + "\n}\n";
}

} // namespace velmor
