#include "package_report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
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

const char *KindName(ProblemKind kind)
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
    }
    return "other";
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

std::string JsonString(const std::string &utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += "\\u00" + Hex(c, 2);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
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
    time_t seconds = static_cast<time_t>(UnixFromFileTime(fileTime));
    struct tm parts;
    char text[64];
    if (gmtime_r(&seconds, &parts) == nullptr ||
        std::strftime(text, sizeof text, iso ? "%Y-%m-%dT%H:%M:%SZ" : "%Y-%m-%d %H:%M:%S", &parts) == 0)
        return "FILETIME 0x" + Hex(static_cast<unsigned>(fileTime >> 32), 8) +
               Hex(static_cast<unsigned>(fileTime), 8);
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

std::string ListJson(const PackageContents &c, int codePage)
{
    auto text = [codePage](const std::string &ansi) { return JsonString(DisplayText(ansi, codePage)); };
    std::string description;
    for (const std::string &line : DescriptionLines(c.description, codePage))
        description += (description.empty() ? "" : "\n") + line;
    if (c.description.empty())
        description.clear();

    std::string out = "{\n";
    out += "  \"packageSize\": " + std::to_string(c.fileSize) + ",\n";
    out += "  \"mode\": " + JsonString(ModeName(c.mode)) + ",\n";
    out += "  \"modeValue\": " + std::to_string(c.mode) + ",\n";
    out += std::string("  \"compressed\": ") + (c.compressed() ? "true" : "false") + ",\n";
    out += "  \"setupProgram\": " + text(c.setupProgram) + ",\n";
    out += "  \"folder\": " + text(c.defaultFolder) + ",\n";
    out += "  \"description\": " + JsonString(description) + ",\n";
    out += "  \"entryCount\": " + std::to_string(c.entryCount) + ",\n";
    out += "  \"dataOffset\": " + std::to_string(c.dataOffset) + ",\n";
    out += "  \"signature\": ";
    if (!c.certificateTable) {
        out += "null,\n";
    } else {
        const SignatureFacts &s = c.signature;
        auto optional = [](const std::string &text) { return text.empty() ? std::string("null") : JsonString(text); };
        out += std::string("{\"readable\": ") + (s.read ? "true" : "false") +
               ", \"digestAlgorithm\": " + optional(s.digestAlgorithm) +
               ", \"digestMatches\": " + (s.DigestMatches() ? "true" : "false") +
               ", \"signatureValid\": " + (s.signatureValid ? "true" : "false") +
               ", \"signer\": " + optional(s.signer) + ", \"issuer\": " + optional(s.issuer) +
               ", \"validUntil\": " + optional(s.validUntil) + ", \"timestamp\": " + optional(s.timestamp) +
               ", \"timestampAuthority\": " + optional(s.timestampAuthority) + "},\n";
    }
    out += "  \"entries\": [";
    for (size_t i = 0; i < c.entries.size(); ++i) {
        const PackageEntry &e = c.entries[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"index\": " + std::to_string(e.index);
        out += ", \"path\": " + text(e.path);
        out += ", \"directory\": " + text(e.directory);
        out += ", \"name\": " + text(e.fileName);
        out += ", \"size\": " + std::to_string(e.dataSize);
        out += ", \"expandedSize\": " + (e.expandedSize ? std::to_string(*e.expandedSize) : std::string("null"));
        out += ", \"attributes\": " + std::to_string(e.attributes);
        out += ", \"attributeLetters\": " + JsonString(AttributesText(e.attributes));
        out += ", \"creationTime\": " + JsonString(FileTimeText(e.creationTime, true));
        out += ", \"lastAccessTime\": " + JsonString(FileTimeText(e.lastAccessTime, true));
        out += ", \"lastWriteTime\": " + JsonString(FileTimeText(e.lastWriteTime, true));
        out += ", \"fileTimes\": [" + std::to_string(e.creationTime) + ", " + std::to_string(e.lastAccessTime) +
               ", " + std::to_string(e.lastWriteTime) + "]";
        out += "}";
    }
    out += c.entries.empty() ? "],\n" : "\n  ],\n";
    out += "  \"problems\": [";
    for (size_t i = 0; i < c.problems.size(); ++i) {
        const PackageProblem &p = c.problems[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"index\": " + std::to_string(p.index) + ", \"path\": " + text(p.path) +
               ", \"kind\": " + JsonString(KindName(p.kind)) + ", \"message\": " + JsonString(p.what) + "}";
    }
    out += c.problems.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

} // namespace velmor
