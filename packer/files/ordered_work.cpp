#include "ordered_work.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace velmor {

void RunInOrder(size_t count, unsigned jobs, const std::function<void(size_t)> &produce,
                const std::function<void(size_t)> &consume)
{
    if (jobs <= 1 || count <= 1) {
        for (size_t i = 0; i < count; ++i) {
            produce(i);
            consume(i);
        }
        return;
    }

    struct Slot {
        bool done = false;
        std::exception_ptr error;
    };
    std::vector<Slot> slots(count);
    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0;     // the next item to start
    size_t consumed = 0; // items taken by the calling thread
    bool stop = false;

    auto work = [&] {
        for (;;) {
            size_t i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || next >= count || next < consumed + jobs; });
                if (stop || next >= count)
                    return;
                i = next++;
            }
            Slot made;
            try {
                produce(i);
            } catch (...) {
                made.error = std::current_exception();
            }
            made.done = true;
            {
                std::lock_guard<std::mutex> lock(mutex);
                slots[i] = std::move(made);
            }
            changed.notify_all();
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(std::min<size_t>(jobs, count));
    auto stopAndJoin = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread &thread : threads)
            thread.join();
    };
    try {
        for (size_t t = 0; t < std::min<size_t>(jobs, count); ++t)
            threads.emplace_back(work);
    } catch (const std::system_error &e) {
        // No memory for another thread's stack: the threads started end first.
        stopAndJoin();
        throw std::runtime_error(std::string("cannot start another thread: ") + e.what());
    }

    std::exception_ptr failure;
    for (size_t i = 0; i < count && !failure; ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return slots[i].done; });
            if (slots[i].error) {
                failure = slots[i].error;
                break;
            }
            consumed = i + 1;
        }
        changed.notify_all();
        try {
            consume(i);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    stopAndJoin();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace velmor
