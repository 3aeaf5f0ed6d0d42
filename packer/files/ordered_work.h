// Work split over several threads whose results are still taken one by one in order:
// files are compressed at once and written one after another, so that the output is
// the same whatever the number of threads.
#ifndef VELMOR_ORDERED_WORK_H
#define VELMOR_ORDERED_WORK_H

#include <cstddef>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace velmor {

// The number of processors this process may run on (at least 1).
unsigned AvailableCores();

// Calls produce(i) for every i in [0, count) on up to `jobs` threads, and consume(i)
// on the calling thread in order of i, each once produce(i) has returned. Item i is
// started only once item i - jobs has been handed to consume, so besides the item
// being consumed at most `jobs` are being made or wait. The first exception in order
// of i, from either call, is rethrown once the threads have ended; no later item is
// consumed. With jobs <= 1 everything runs on the calling thread.
void RunInOrder(size_t count, unsigned jobs, const std::function<void(size_t)> &produce,
                const std::function<void(size_t)> &consume);

// RunInOrder with a result: consume(i, result) takes what produce(i) returned
// (anything movable). A result is dropped as soon as consume has had it.
template <class Produce, class Consume>
void ProduceInOrder(size_t count, unsigned jobs, Produce &&produce, Consume &&consume)
{
    using Result = std::decay_t<std::invoke_result_t<Produce &, size_t>>;
    // Each slot is written by the thread that makes it and read by the calling
    // thread after RunInOrder has seen it done, under its lock.
    std::vector<std::optional<Result>> results(count);
    RunInOrder(
        count, jobs, [&](size_t i) { results[i].emplace(produce(i)); },
        [&](size_t i) {
            Result result = std::move(*results[i]);
            results[i].reset();
            consume(i, std::move(result));
        });
}

} // namespace velmor

#endif
