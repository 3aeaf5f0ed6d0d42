// A one-line progress display on the terminal for long work: shown only when
// standard error is a terminal, the work is large enough to be worth watching, and
// -q was not given.
#ifndef VELMOR_TERMINAL_PROGRESS_H
#define VELMOR_TERMINAL_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>

namespace velmor {

class TerminalProgress {
public:
    // Work below this many bytes finishes too quickly to show progress for.
    static constexpr uint64_t kMinimumBytes = 4 << 20;

    TerminalProgress(std::string label, uint64_t totalBytes);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    // Bytes done so far; redraws at most ten times a second.
    void Update(uint64_t doneBytes);
    // Clears the line for other output; the next Update draws it again.
    void Clear();
    // Clears the line for good (also done by the destructor).
    void Finish();

private:
    std::string label_;
    uint64_t total_;
    bool shown_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

} // namespace velmor

#endif
