// velmor-pack szdd compress|expand: files to and from SZDD, the format the packer
// stores compressed files in.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>
#include "byte_source.h"
#include "cli_options.h"
#include "commands.h"
#include "input_file.h"
#include "messages.h"
#include "ordered_work.h"
#include "output_file.h"
#include "pack_error.h"
#include "scratch_file.h"
#include "szdd_encoder.h"
#include "szdd_expand.h"
#include "terminal_progress.h"
#include "utf8_path.h"

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

// Where each input's SZDD file goes: OUTPUT itself for a single input, else the
// input's name in the folder OUTPUT.
std::vector<std::string> OutputPaths(const std::vector<std::string> &inputs, const std::string &output)
{
    if (inputs.size() == 1)
        return {output};
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_directory(PathOf(output), error))
        throw PackError(output + ": not a folder; with several input files the last argument names the folder "
                                 "to write their SZDD files to");
    std::vector<std::string> paths;
    std::set<std::string> names;
    for (const std::string &input : inputs) {
        std::string name = TextOf(PathOf(input).filename());
        if (name.empty() || !names.insert(name).second)
            throw PackError(input + ": another input file has the name " + (name.empty() ? "(none)" : name) +
                            "; their SZDD files would overwrite each other");
        paths.push_back(TextOf(PathOf(output) / PathOf(name)));
    }
    return paths;
}

// No output may be one of the inputs: that input would be gone before it was read.
void RefuseOutputsOverInputs(const std::vector<std::string> &inputs, const std::vector<std::string> &outputs)
{
    std::vector<NamedInput> named;
    for (const std::string &input : inputs)
        named.push_back({"the input file", input});
    for (const std::string &output : outputs)
        RefuseOutputOverInputs("OUTPUT", output, named);
}

// Compresses the file into write, reading it as the encoder asks: up to its size when
// it was opened (a file that grows meanwhile is taken as it was).
void CompressFile(InputFile &in, SzddLevel level, const SzddOutputWriter &write)
{
    const uint64_t size = in.size();
    auto read = [&in, size](unsigned char *buffer, size_t count) {
        if (in.ReadFull(reinterpret_cast<char *>(buffer), count) != count)
            throw PackError(in.path() + ": the file changed while it was being compressed: expected " +
                            std::to_string(size) + " bytes, as when it was opened, found fewer");
    };
    SzddCompressTo(size, read, write, level);
}

void RunCompress(const CompressOptions &options)
{
    const std::vector<std::string> inputs(options.files.begin(), options.files.end() - 1);
    const std::vector<std::string> outputs = OutputPaths(inputs, options.files.back());
    RefuseOutputsOverInputs(inputs, outputs);
    const SzddLevel level = options.best ? SzddLevel::Best : SzddLevel::Default;

    uint64_t total = 0;
    for (const std::string &input : inputs) {
        if (std::optional<uint64_t> size = SizeOfFile(input))
            total += *size;
    }
    TerminalProgress display("compressing", total);
    uint64_t done = 0;
    auto report = [&](size_t i, uint64_t size, uint64_t packed) {
        display.Clear();
        PrintResult(outputs[i] + ": " + std::to_string(size) + " bytes, SZDD file of " + std::to_string(packed) +
                    " bytes");
        std::fflush(stdout);
        done += size;
        display.Update(done);
    };
    if (options.jobs <= 1 || inputs.size() == 1) {
        // One file at a time, each written straight to its output.
        for (size_t i = 0; i < inputs.size(); ++i) {
            InputFile in(inputs[i]);
            OutputFile out(outputs[i]);
            CompressFile(in, level, [&out](const char *bytes, size_t count) { out.Write({bytes, count}); });
            out.Commit();
            report(i, in.size(), out.Size());
        }
        return;
    }
    // Several at once, each into a scratch file beside its output, written out in order.
    struct Compressed {
        std::unique_ptr<ScratchFile> data;
        uint64_t size;
    };
    ProduceInOrder(
        inputs.size(), options.jobs,
        [&](size_t i) {
            InputFile in(inputs[i]);
            auto scratch = std::make_unique<ScratchFile>(outputs[i]);
            CompressFile(in, level, [&scratch](const char *bytes, size_t count) { scratch->Write(bytes, count); });
            return Compressed{std::move(scratch), in.size()};
        },
        [&](size_t i, Compressed &&compressed) {
            OutputFile out(outputs[i]);
            compressed.data->CopyInto(out);
            out.Commit();
            report(i, compressed.size, out.Size());
        });
}

// Expands as a stream: no more than libmspack's window and buffers are held.
void RunExpand(const ExpandOptions &options)
{
    RefuseOutputsOverInputs({options.input}, {options.output});
    std::unique_ptr<ByteSource> source = OpenFileSource(options.input);
    OutputFile out(options.output);
    uint64_t size = SzddExpandTo(
        *source, 0, source->Size(), [&out](const char *bytes, size_t count) { out.Write({bytes, count}); },
        options.input);
    out.Commit();
    PrintResult(options.output + ": " + std::to_string(size) + " bytes");
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
