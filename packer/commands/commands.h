// The subcommands of velmor-pack. Each Add*Command adds one subcommand with its
// options and help text to the application; its callback does the work and reports
// bad input by throwing PackError, a command line it cannot use by UsageError.
#ifndef VELMOR_PACK_COMMANDS_H
#define VELMOR_PACK_COMMANDS_H

#include <optional>
#include <string>
#include <CLI/CLI.hpp>
#include "package_signing.h"

namespace velmor {

void AddCreateCommand(CLI::App &app);
void AddSzddCommand(CLI::App &app);
void AddWhichSetupCommand(CLI::App &app);
void AddListCommand(CLI::App &app);
void AddVerifyCommand(CLI::App &app);
void AddExtractCommand(CLI::App &app);
void AddSignCommand(CLI::App &app);

// The stub that create uses without --stub: velmor.exe beside velmor-pack, in the
// build tree's i686 folder, or in ../share/velmor where velmor-pack is installed.
std::optional<std::string> DefaultStubPath();

// The options that choose a certificate and key and pass details to the signature;
// create names the description and URL --sign-description and --sign-url, as its own
// --description is the package's text.
void AddSigningOptions(CLI::App &cmd, SigningOptions &options, bool inCreate);

} // namespace velmor

#endif
