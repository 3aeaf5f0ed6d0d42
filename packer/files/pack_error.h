#ifndef VELMOR_PACK_ERROR_H
#define VELMOR_PACK_ERROR_H

#include <stdexcept>
#include <string>
#include <vector>

namespace velmor {

// Exit statuses of velmor-pack.
enum ExitStatus {
    kExitSuccess = 0,
    kExitRefused = 1, // the input was refused, or the package has problems
    kExitUsage = 2,   // the command line cannot be used as given
};

// Bad input or a failed file operation: the message is one line that names the file
// and the reason, printed as it stands, and the program exits with status 1.
class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string &message) : std::runtime_error(message) {}
};

// Several findings about the input at once, one line each (what() joins them with
// line breaks); exit status 1.
class PackErrors : public PackError {
public:
    explicit PackErrors(std::vector<std::string> lines) : PackError(Join(lines)), lines_(std::move(lines)) {}
    const std::vector<std::string> &lines() const { return lines_; }

private:
    static std::string Join(const std::vector<std::string> &lines)
    {
        std::string text;
        for (const std::string &line : lines)
            text += (text.empty() ? "" : "\n") + line;
        return text;
    }
    std::vector<std::string> lines_;
};

// Runs check and adds what it refuses to problems, so that every problem of the
// input is reported, not only the first.
template <typename Check>
void CollectProblems(std::vector<std::string> &problems, Check check)
{
    try {
        check();
    } catch (const PackErrors &e) {
        problems.insert(problems.end(), e.lines().begin(), e.lines().end());
    } catch (const PackError &e) {
        problems.push_back(e.what());
    }
}

// The command line names no usable work: a value outside its choices, options that
// exclude each other, an output that the input would swallow. Exit status 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string &message) : std::runtime_error(message) {}
};

} // namespace velmor

#endif
