#include "terminal_progress.h"

#include <cstdio>
#include "console.h"
#include "messages.h"

namespace velmor {

TerminalProgress::TerminalProgress(std::string label, uint64_t totalBytes)
    : label_(std::move(label)), total_(totalBytes),
      shown_(totalBytes >= kMinimumBytes && !Messages().quiet && StandardErrorIsTerminal())
{
}

TerminalProgress::~TerminalProgress()
{
    Finish();
}

void TerminalProgress::Update(uint64_t doneBytes)
{
    if (!shown_)
        return;
    auto now = std::chrono::steady_clock::now();
    if (doneBytes < total_ && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastDraw_ = now;
    unsigned percent = total_ ? static_cast<unsigned>(doneBytes * 100 / total_) : 100;
    std::fprintf(stderr, "\r%s: %3u%% (%llu of %llu MiB)", label_.c_str(), percent,
                 static_cast<unsigned long long>(doneBytes >> 20),
                 static_cast<unsigned long long>(total_ >> 20));
    std::fflush(stderr);
}

void TerminalProgress::Clear()
{
    if (!shown_)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    lastDraw_ = {};
}

void TerminalProgress::Finish()
{
    if (!shown_)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
}

} // namespace velmor
