// ProduceInOrder: results taken in order whatever order they are made in, no more than
// `jobs` of them held at once, and the first failure in order reported.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include "ordered_work.h"

using velmor::ProduceInOrder;

namespace {

// Earlier items take longer, so that later ones are done first.
void Delay(size_t i, size_t count)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<size_t>(count - i, 6)));
}

TEST(OrderedWorkTest, ConsumesEveryResultOnceInOrderHoldingAtMostJobs)
{
    const struct {
        size_t count;
        unsigned jobs;
    } cases[] = {{0, 3}, {1, 4}, {5, 1}, {9, 2}, {40, 3}, {6, 16}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " items, " + std::to_string(c.jobs) + " jobs");
        std::atomic<size_t> started{0}, consumed{0}, mostHeld{0};
        std::vector<std::string> seen;
        ProduceInOrder(
            c.count, c.jobs,
            [&](size_t i) {
                size_t held = ++started - consumed;
                for (size_t most = mostHeld; held > most && !mostHeld.compare_exchange_weak(most, held);) {
                }
                Delay(i, c.count);
                return "item " + std::to_string(i);
            },
            [&](size_t i, std::string &&result) {
                EXPECT_EQ(result, "item " + std::to_string(i));
                seen.push_back(result);
                ++consumed;
            });
        ASSERT_EQ(seen.size(), c.count);
        for (size_t i = 0; i < c.count; ++i)
            EXPECT_EQ(seen[i], "item " + std::to_string(i));
        // The jobs' results and the one being consumed.
        EXPECT_LE(mostHeld.load(), c.jobs + 1);
    }
}

// Results need only be movable (the package writer passes scratch files), and each is
// dropped as soon as it has been consumed: no more are alive than are held.
TEST(OrderedWorkTest, MoveOnlyResultsAreDroppedOnceConsumed)
{
    struct Counted {
        explicit Counted(std::atomic<size_t> &alive) : alive_(alive) { ++alive_; }
        ~Counted() { --alive_; }
        std::atomic<size_t> &alive_;
    };
    for (unsigned jobs : {1u, 3u}) {
        SCOPED_TRACE(std::to_string(jobs) + " jobs");
        std::atomic<size_t> alive{0}, mostAlive{0};
        size_t consumed = 0;
        ProduceInOrder(
            20, jobs,
            [&](size_t i) {
                Delay(i, 20);
                auto made = std::make_unique<Counted>(alive);
                for (size_t most = mostAlive, now = alive; now > most && !mostAlive.compare_exchange_weak(most, now);) {
                }
                return made;
            },
            [&](size_t i, std::unique_ptr<Counted> &&result) {
                EXPECT_EQ(i, consumed++);
                EXPECT_NE(result, nullptr);
            });
        EXPECT_EQ(consumed, 20u);
        EXPECT_EQ(alive.load(), 0u);
        EXPECT_LE(mostAlive.load(), jobs + 1);
    }
}

TEST(OrderedWorkTest, TheFirstFailureInOrderIsRethrownAndNothingAfterItConsumed)
{
    const struct {
        const char *name;
        size_t failProduce;  // items whose produce throws (count: none)
        size_t failProduce2; // a later one that fails sooner
        size_t failConsume;  // the item whose consume throws (count: none)
        std::string expected;
        size_t consumedBefore;
    } cases[] = {
        {"produce", 3, 6, 10, "produce 3", 3},
        {"consume", 10, 10, 2, "consume 2", 2},
        {"consume before a failed produce", 5, 10, 1, "consume 1", 1},
    };
    for (unsigned jobs : {1u, 3u}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(jobs) + " jobs");
            std::vector<size_t> seen;
            try {
                ProduceInOrder(
                    10, jobs,
                    [&](size_t i) {
                        if (i == c.failProduce2)
                            throw std::runtime_error("produce " + std::to_string(i));
                        Delay(i, 10);
                        if (i == c.failProduce)
                            throw std::runtime_error("produce " + std::to_string(i));
                        return std::string();
                    },
                    [&](size_t i, std::string &&) {
                        if (i == c.failConsume)
                            throw std::runtime_error("consume " + std::to_string(i));
                        seen.push_back(i);
                    });
                ADD_FAILURE() << "no exception";
            } catch (const std::runtime_error &e) {
                EXPECT_EQ(e.what(), c.expected);
            }
            EXPECT_EQ(seen.size(), c.consumedBefore);
        }
    }
}

} // namespace
