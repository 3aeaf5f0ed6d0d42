// velmor-pack szdd compress|expand: files to and from SZDD, the format the packer
// stores compressed files in.
#include <sys/stat.h>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>
#include "cli_options.h"
#include "commands.h"
#include "messages.h"
#include "ordered_work.h"
#include "output_file.h"
#include "pack_error.h"
#include "szdd_encoder.h"
#include "szdd_expand.h"
#include "terminal_progress.h"

namespace velmor {
namespace {

struct CompressOptions {
    std::vector<std::string> files; // the inputs, then the output
    bool best = false;
    unsigned jobs = AvailableCores();
};

struct ExpandOptions {
    std::string input;
    std::string output;
};

void WriteOutput(const std::string &path, std::string_view bytes)
{
    OutputFile out(path);
    out.Write(bytes);
    out.Commit();
}

// Where each input's SZDD file goes: OUTPUT itself for a single input, else the
// input's name in the folder OUTPUT.
std::vector<std::string> OutputPaths(const std::vector<std::string> &inputs, const std::string &output)
{
    if (inputs.size() == 1)
        return {output};
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_directory(output, error))
        throw PackError(output + ": not a folder; with several input files the last argument names the folder "
                                 "to write their SZDD files to");
    std::vector<std::string> paths;
    std::set<std::string> names;
    for (const std::string &input : inputs) {
        std::string name = fs::path(input).filename().string();
        if (name.empty() || !names.insert(name).second)
            throw PackError(input + ": another input file has the name " + (name.empty() ? "(none)" : name) +
                            "; their SZDD files would overwrite each other");
        paths.push_back((fs::path(output) / name).string());
    }
    return paths;
}

void RunCompress(const CompressOptions &options)
{
    const std::vector<std::string> inputs(options.files.begin(), options.files.end() - 1);
    const std::vector<std::string> outputs = OutputPaths(inputs, options.files.back());
    const SzddLevel level = options.best ? SzddLevel::Best : SzddLevel::Default;

    uint64_t total = 0;
    for (const std::string &input : inputs) {
        struct stat info;
        if (stat(input.c_str(), &info) == 0)
            total += static_cast<uint64_t>(info.st_size);
    }
    TerminalProgress display("compressing", total);
    std::vector<size_t> sizes(inputs.size()); // of each input, set by the thread that reads it
    uint64_t done = 0;
    ProduceInOrder(
        inputs.size(), options.jobs,
        [&](size_t i) {
            std::string data = ReadWholeFile(inputs[i]);
            if (data.size() > 0xFFFFFFFFu)
                throw PackError(inputs[i] + ": too large for SZDD (4 GiB or more)");
            sizes[i] = data.size();
            return SzddCompress(data, level);
        },
        [&](size_t i, std::string &&packed) {
            WriteOutput(outputs[i], packed);
            display.Clear();
            PrintResult(outputs[i] + ": " + std::to_string(sizes[i]) + " bytes, SZDD file of " +
                        std::to_string(packed.size()) + " bytes");
            std::fflush(stdout);
            done += sizes[i];
            display.Update(done);
        });
}

void RunExpand(const ExpandOptions &options)
{
    std::string expanded = SzddExpand(ReadWholeFile(options.input), options.input);
    WriteOutput(options.output, expanded);
    PrintResult(options.output + ": " + std::to_string(expanded.size()) + " bytes");
}

} // namespace

void AddSzddCommand(CLI::App &app)
{
    CLI::App *szdd = app.add_subcommand("szdd", "Compress or expand files in the SZDD format");
    szdd->require_subcommand(1);
    szdd->footer("Examples:\n"
                 "  velmor-pack szdd compress --best readme.txt readme.tx_\n"
                 "  velmor-pack szdd compress -j 4 payload/*.dll compressed/\n"
                 "  velmor-pack szdd expand readme.tx_ readme.txt\n");

    auto compressOptions = std::make_shared<CompressOptions>();
    CLI::App *compress = szdd->add_subcommand(
        "compress", "Write each INPUT as an SZDD file, as COMPRESS would: to OUTPUT for one INPUT, "
                    "else under its own name in the folder OUTPUT");
    compress->add_flag("--best", compressOptions->best, "the smallest encoding there is, at some cost in speed");
    AddJobsOption(*compress, compressOptions->jobs,
                  "files compressed at once (default: the number of processors); "
                  "the SZDD files are the same for any number");
    compress->add_option("FILES", compressOptions->files, "INPUT... OUTPUT: files to compress (under 4 GiB each), "
                                                          "then the SZDD file or the folder to write")
        ->required()
        ->expected(2, -1);
    compress->footer("Examples:\n"
                     "  velmor-pack szdd compress --best setup.ini setup.in_\n"
                     "  velmor-pack szdd compress setup.ini readme.txt disk1/\n");
    compress->callback([compressOptions]() { RunCompress(*compressOptions); });

    auto expandOptions = std::make_shared<ExpandOptions>();
    CLI::App *expand = szdd->add_subcommand("expand", "Expand the SZDD file INPUT, as EXPAND would");
    expand->add_option("INPUT", expandOptions->input, "SZDD file")->required();
    expand->add_option("OUTPUT", expandOptions->output, "file to write")->required();
    expand->footer("Example:\n  velmor-pack szdd expand setup.in_ setup.ini\n");
    expand->callback([expandOptions]() { RunExpand(*expandOptions); });
}

} // namespace velmor
