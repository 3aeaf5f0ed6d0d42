// Options and checks that several subcommands share.
#ifndef VELMOR_CLI_OPTIONS_H
#define VELMOR_CLI_OPTIONS_H

#include <string>
#include <CLI/CLI.hpp>

namespace velmor {

// A whole number written in decimal: leading zeros are allowed and mean nothing (CLI11
// on its own would read 01252 as octal and 0x4E4 as hexadecimal).
const CLI::Validator &DecimalNumber();

// --codepage: a decimal number among the supported code pages.
CLI::Option *AddCodePageOption(CLI::App &cmd, int &codePage, const std::string &help);

// -j/--jobs: how many files are compressed at once, a positive number.
CLI::Option *AddJobsOption(CLI::App &cmd, unsigned &jobs, const std::string &help);

// -q, -v and --warnings-as-errors, into Messages().
void AddMessageOptions(CLI::App &cmd);

} // namespace velmor

#endif
