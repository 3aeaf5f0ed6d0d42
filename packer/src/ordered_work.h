// Work split over several threads whose results are still taken one by one in order:
// files are compressed at once and written one after another, so that the output is
// the same whatever the number of threads.
#ifndef VELMOR_ORDERED_WORK_H
#define VELMOR_ORDERED_WORK_H

#include <cstddef>
#include <functional>
#include <string>

namespace velmor {

// The number of processors this process may run on (at least 1).
unsigned AvailableCores();

// Calls produce(i) for every i in [0, count) on up to `jobs` threads, and consume(i,
// result) on the calling thread in order of i. Item i is started only once item
// i - jobs has been handed to consume, so besides the result being consumed at most
// `jobs` are being made or wait. The first exception in order of i, from either call,
// is rethrown once the threads have ended; no later item is consumed. With jobs <= 1
// everything runs on the calling thread.
void ProduceInOrder(size_t count, unsigned jobs, const std::function<std::string(size_t)> &produce,
                    const std::function<void(size_t, std::string &&)> &consume);

} // namespace velmor

#endif
