// What velmor-pack prints besides a command's own results: errors, warnings, details,
// each on one line that starts with "velmor-pack:", and how much of it -q and -v let
// through.
#ifndef VELMOR_MESSAGES_H
#define VELMOR_MESSAGES_H

#include <cstdint>
#include <string>
#include <string_view>

namespace velmor {

struct MessageSettings {
    bool quiet = false;            // -q: no progress, warnings or summary lines
    bool verbose = false;          // -v: one line per file
    bool warningsAsErrors = false; // --warnings-as-errors: a warning fails the command
};

// The settings of this run, set from the command line.
MessageSettings &Messages();

// The text for a one-line message: control characters and bytes that are not part of
// UTF-8 appear as \xNN, so that a name with a line break or in another encoding shows
// what it holds and stays on its line.
std::string Printable(std::string_view text);

// "velmor-pack: <line>" on standard error.
void PrintError(const std::string &line);

// "1 entry", "3 entries": the count with the word that fits it.
std::string Counted(uint64_t count, const char *one, const char *many);
// "velmor-pack: warning: <line>" on standard error, unless quiet.
void PrintWarning(const std::string &line);
// A command's result on standard output, unless quiet.
void PrintResult(const std::string &line);
// One line on standard output with -v only.
void PrintDetail(const std::string &line);

} // namespace velmor

#endif
