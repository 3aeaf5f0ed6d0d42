#include "szdd_match_finder.h"

#include <memory>
#include <utility>
#include "szdd_chain_finder.h"
#include "szdd_search_window.h"
#include "szdd_tree_finder.h"

namespace velmor {
namespace {

using namespace szdd_search;

// A search run over every input position in order, fed from the sliding window.
template <class Search>
class StreamFinder final : public MatchFinder {
public:
    StreamFinder(uint64_t size, SzddInputReader read) : window_(size, std::move(read)), search_(size)
    {
        for (uint64_t v = kFirstSource; v < kRingSize && v + kMinMatch <= window_.Total(); ++v)
            search_.Prime(window_, v);
    }

    size_t Next(Match *out, size_t count) override
    {
        if (count == 1 && v_ < fast_) {
            search_.Step(window_, v_, kMaxMatch, *out);
            out->byte = *window_.At(v_++);
            return 1;
        }
        const uint64_t total = window_.Total();
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, total - v_));
        const uint64_t end = v_ + n;
        uint64_t v = v_;
        while (v < end) {
            const uint64_t ready = std::min(end, Ready(v));
            if (v < fast_) {
                const uint64_t stop = std::min(fast_, ready);
                search_.Run(window_, v, stop, out);
                out += stop - v;
                v = stop;
            }
            for (; v < ready; ++v, ++out) {
                unsigned lenLimit = static_cast<unsigned>(total - v);
                if (lenLimit >= kMinMatch) {
                    search_.Step(window_, v, lenLimit, *out);
                } else {
                    out->length = 0;
                    out->distance = 0;
                }
                out->byte = *window_.At(v);
            }
        }
        v_ = end;
        return n;
    }

    void Skip(size_t count) override
    {
        const uint64_t total = window_.Total();
        const uint64_t end = v_ + std::min<uint64_t>(count, total - v_);
        const uint64_t last = total >= kMinMatch ? total - kMinMatch + 1 : 0; // no match starts later
        uint64_t v = v_;
        while (v < end) {
            const uint64_t ready = std::min(end, v < fast_ ? fast_ : Ready(v));
            for (const uint64_t stop = std::min(ready, last); v < stop; ++v)
                search_.Skip(window_, v);
            v = ready;
        }
        v_ = end;
    }

private:
    // Makes the window ready for v; returns the end of the positions from v on that it
    // serves without a refill, and sets fast_.
    uint64_t Ready(uint64_t v)
    {
        const uint64_t ready = window_.Reach(v);
        const uint64_t total = window_.Total();
        // Positions before full are followed by kMaxMatch bytes at least.
        const uint64_t full = total >= kMaxMatch ? total - kMaxMatch + 1 : 0;
        fast_ = std::min(ready, full);
        return ready;
    }

    Window window_;
    Search search_;
    uint64_t v_ = kRingSize; // the next position to report: input offset v_ - kRingSize
    uint64_t fast_ = 0;      // positions before fast_ need no refill and have kMaxMatch bytes
};

} // namespace

std::unique_ptr<MatchFinder> MatchFinderCreate(uint64_t size, SzddInputReader read, MatchFinderStrategy strategy)
{
    if (strategy == MatchFinderStrategy::BinaryTree) {
        if (kRingSize + size + TreeFinder<uint32_t>::kStoredOffset <= UINT32_MAX)
            return std::make_unique<StreamFinder<TreeFinder<uint32_t>>>(size, std::move(read));
        return std::make_unique<StreamFinder<TreeFinder<uint64_t>>>(size, std::move(read));
    }
    return std::make_unique<StreamFinder<ChainFinder>>(size, std::move(read));
}

SzddInputReader SzddMemoryReader(std::string_view input)
{
    size_t used = 0;
    return [input, used](unsigned char *buffer, size_t count) mutable {
        std::memcpy(buffer, input.data() + used, count);
        used += count;
    };
}

std::unique_ptr<MatchFinder> MatchFinderCreate(std::string_view input, MatchFinderStrategy strategy)
{
    return MatchFinderCreate(input.size(), SzddMemoryReader(input), strategy);
}

} // namespace velmor

