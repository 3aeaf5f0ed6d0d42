// velmor-pack szdd compress|expand: single files to and from SZDD, the format the
// packer stores compressed files in.
#include <cstdio>
#include <memory>
#include "commands.h"
#include "messages.h"
#include "output_file.h"
#include "pack_error.h"
#include "szdd_encoder.h"
#include "szdd_expand.h"

namespace velmor {
namespace {

struct SzddOptions {
    std::string input;
    std::string output;
    bool best = false;
};

void WriteOutput(const std::string &path, std::string_view bytes)
{
    OutputFile out(path);
    out.Write(bytes);
    out.Commit();
}

void RunCompress(const SzddOptions &options)
{
    std::string data = ReadWholeFile(options.input);
    if (data.size() > 0xFFFFFFFFu)
        throw PackError(options.input + ": too large for SZDD (4 GiB or more)");
    std::string packed = SzddCompress(data, options.best ? SzddLevel::Best : SzddLevel::Default);
    WriteOutput(options.output, packed);
    PrintResult(options.output + ": " + std::to_string(data.size()) + " bytes, SZDD file of " +
                std::to_string(packed.size()) + " bytes");
}

void RunExpand(const SzddOptions &options)
{
    std::string expanded = SzddExpand(ReadWholeFile(options.input), options.input);
    WriteOutput(options.output, expanded);
    PrintResult(options.output + ": " + std::to_string(expanded.size()) + " bytes");
}

void AddFiles(CLI::App *cmd, SzddOptions &options, const char *inputHelp, const char *outputHelp)
{
    cmd->add_option("INPUT", options.input, inputHelp)->required();
    cmd->add_option("OUTPUT", options.output, outputHelp)->required();
}

} // namespace

void AddSzddCommand(CLI::App &app)
{
    auto options = std::make_shared<SzddOptions>();
    CLI::App *szdd = app.add_subcommand("szdd", "Compress or expand a single file in the SZDD format");
    szdd->require_subcommand(1);
    szdd->footer("Examples:\n"
                 "  velmor-pack szdd compress --best readme.txt readme.tx_\n"
                 "  velmor-pack szdd expand readme.tx_ readme.txt\n");

    CLI::App *compress = szdd->add_subcommand("compress", "Write INPUT as an SZDD file, as COMPRESS would");
    compress->add_flag("--best", options->best, "the smallest encoding there is, at some cost in speed");
    AddFiles(compress, *options, "file to compress (under 4 GiB)", "SZDD file to write");
    compress->footer("Example:\n  velmor-pack szdd compress --best setup.ini setup.in_\n");
    compress->callback([options]() { RunCompress(*options); });

    CLI::App *expand = szdd->add_subcommand("expand", "Expand the SZDD file INPUT, as EXPAND would");
    AddFiles(expand, *options, "SZDD file", "file to write");
    expand->footer("Example:\n  velmor-pack szdd expand setup.in_ setup.ini\n");
    expand->callback([options]() { RunExpand(*options); });
}

} // namespace velmor
