#include "FileNumbers.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace {

TEST(FileNumbers, CountUpByOneAndPassOverZeroAtTheEndOfTheRange)
{
    FileNumberCounter = 99;
    EXPECT_EQ(100u, DrawFileNumber());
    EXPECT_EQ(101u, DrawFileNumber());
    FileNumberCounter = 0xFFFFFFFEu;
    EXPECT_EQ(0xFFFFFFFFu, DrawFileNumber());
    EXPECT_EQ(1u, DrawFileNumber()) << "0 is the host's \"no handle\"";
}

TEST(FileNumbers, DrawsFromManyThreadsNeverRepeat)
{
    constexpr int Threads = 4;
    constexpr int Draws = 10000;
    std::vector<std::uint32_t> drawn[Threads];
    std::vector<std::thread> threads;
    for (auto& numbers : drawn) {
        threads.emplace_back([&numbers] {
            for (int i = 0; i < Draws; ++i) {
                numbers.push_back(DrawFileNumber());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<std::uint32_t> all;
    for (const auto& numbers : drawn) {
        all.insert(numbers.begin(), numbers.end());
    }
    EXPECT_EQ(static_cast<std::size_t>(Threads * Draws), all.size());
}

} // namespace
