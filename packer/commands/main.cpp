#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <CLI/CLI.hpp>
#include "cli_options.h"
#include "console.h"
#include "commands.h"
#include "messages.h"
#include "pack_error.h"
#include "interruptions.h"
#include "this_program.h"

namespace {

std::string VersionText()
{
    std::optional<std::string> stub = velmor::DefaultStubPath();
    return "velmor-pack " VELMOR_VERSION "\nstub: " +
           (stub ? *stub : std::string("none found beside velmor-pack; create needs --stub FILE"));
}

// The word that names the command: the first that is not an option (no option before
// the command takes a value); null when there is none.
const char *CommandWord(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '\0' && argv[i][0] != '-')
            return argv[i];
    }
    return nullptr;
}

// CLI11 words a parse error as a sentence of its own; it becomes one line that says
// where to look.
std::string UsageLine(const CLI::App &app, const CLI::ParseError &e, int argc, char **argv)
{
    const char *word = CommandWord(argc, argv);
    if (app.get_subcommands().empty() && word) {
        std::string commands;
        for (const CLI::App *sub : app.get_subcommands({}))
            commands += (commands.empty() ? "" : ", ") + sub->get_name();
        return "'" + std::string(word) + "' is not a command; the commands are " + commands +
               " (see velmor-pack --help)";
    }
    std::string text = e.what();
    for (char &c : text) {
        if (c == '\n')
            c = ' ';
    }
    std::string command = "velmor-pack";
    for (const CLI::App *sub : app.get_subcommands()) {
        command += " " + sub->get_name();
        for (const CLI::App *inner : sub->get_subcommands())
            command += " " + inner->get_name();
    }
    return text + "; see " + command + " --help";
}

// The commands, in the order --help lists them.
const struct {
    const char *name;
    void (*add)(CLI::App &);
} kCommands[] = {{"create", velmor::AddCreateCommand},    {"szdd", velmor::AddSzddCommand},
                 {"which-setup", velmor::AddWhichSetupCommand}, {"list", velmor::AddListCommand},
                 {"verify", velmor::AddVerifyCommand},    {"extract", velmor::AddExtractCommand},
                 {"sign", velmor::AddSignCommand}};

// Scripts start velmor-pack once per file, so only the command named is built with
// its options, which takes a fifth of the time a start costs. Without a known command
// every one is built, for the help and the error that lists them.
void AddCommands(CLI::App &app, int argc, char **argv)
{
    if (const char *word = CommandWord(argc, argv)) {
        for (const auto &command : kCommands) {
            if (std::strcmp(word, command.name) == 0)
                return command.add(app);
        }
    }
    for (const auto &command : kCommands)
        command.add(app);
}

} // namespace

int main(int argc, char **system_argv)
{
    velmor::HandleInterruptions();
    velmor::PrepareConsole();
    // The words as UTF-8 on every system, kept alive for CLI11's view of them.
    std::vector<std::string> words = velmor::ProgramArguments(argc, system_argv);
    std::vector<char *> pointers;
    for (std::string &word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    argc = static_cast<int>(words.size());
    char **argv = pointers.data();

    CLI::App app{"velmor-pack: builds and checks velmor self-extracting setup packages."};
    app.require_subcommand(1);
    app.set_version_flag("-V,--version", VersionText, "print the version and the stub create uses, and exit");
    velmor::AddMessageOptions(app);
    AddCommands(app, argc, argv);
    app.footer("Exit status: 0 success; 1 the input was refused, or the package or config has problems;\n"
               "2 the command line cannot be used (unknown command or option, a value missing or malformed).\n"
               "Every error is one line that begins with velmor-pack:. Run velmor-pack COMMAND --help for\n"
               "a command's options and an example.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        velmor::PrintError(UsageLine(app, e, argc, argv));
        return velmor::kExitUsage;
    } catch (const velmor::UsageError &e) {
        velmor::PrintError(e.what());
        return velmor::kExitUsage;
    } catch (const velmor::PackErrors &e) {
        for (const std::string &line : e.lines())
            velmor::PrintError(line);
        return velmor::kExitRefused;
    } catch (const std::bad_alloc &) {
        velmor::PrintError("out of memory");
        return velmor::kExitRefused;
    } catch (const std::exception &e) {
        velmor::PrintError(e.what());
        return velmor::kExitRefused;
    }
    return velmor::kExitSuccess;
}
