#include "cli_options.h"

#include "codepage.h"
#include "messages.h"

namespace velmor {

const CLI::Validator &DecimalNumber()
{
    static const CLI::Validator validator(
        [](std::string &text) -> std::string {
            if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
                return "'" + text + "' is not a decimal number";
            size_t first = text.find_first_not_of('0');
            text = first == std::string::npos ? "0" : text.substr(first);
            return "";
        },
        "DECIMAL", "decimal number");
    return validator;
}

CLI::Option *AddCodePageOption(CLI::App &cmd, int &codePage, const std::string &help)
{
    static const CLI::Validator supported(
        [](std::string &text) -> std::string {
            // DecimalNumber has left no leading zeros: a longer text is no code page.
            bool supported = text.size() <= 5 && IsSupportedCodePage(std::stoi(text));
            return supported ? ""
                                              : "code page " + text + " is not supported; choose one of " +
                                                    SupportedCodePagesText();
        },
        "", "supported code page");
    return cmd.add_option("--codepage", codePage, help)
        ->transform(DecimalNumber())
        ->check(supported)
        ->capture_default_str();
}

void AddMessageOptions(CLI::App &cmd)
{
    const std::string group = "Messages";
    auto *quiet = cmd.add_flag("-q,--quiet", Messages().quiet, "print no progress, warnings or summary lines, only errors")
                      ->group(group);
    cmd.add_flag("-v,--verbose", Messages().verbose, "print a line for each file")->excludes(quiet)->group(group);
    cmd.add_flag("--warnings-as-errors", Messages().warningsAsErrors,
                 "fail with status 1 where a warning would be printed, and write nothing (for CI)")
        ->group(group);
}

CLI::Option *AddJobsOption(CLI::App &cmd, unsigned &jobs, const std::string &help)
{
    static const CLI::Validator positive(
        [](std::string &text) -> std::string {
            // DecimalNumber has left no leading zeros.
            return text == "0" ? "expected 1 or more files compressed at once, found 0" : "";
        },
        "", "positive number");
    return cmd.add_option("-j,--jobs", jobs, help)->transform(DecimalNumber())->check(positive)->capture_default_str();
}

} // namespace velmor
