// SPDX-License-Identifier: MIT
// The word-level table as emulators use it, and hostile input to every
// public entry: unknown names and ordinals, short argument lists, null
// pointers, handlers that throw; several threads with their own masks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "kalmlib/kalmlib.hpp"

namespace {

TEST(ExportTable, OrdinalsFollowTheByteOrderOfTheNames) {
    const size_t n = kalm_export_count();
    ASSERT_GT(n, 0u);
    const kalm_export* prev = nullptr;
    for (size_t i = 0; i < n; ++i) {
        const kalm_export* e = kalm_export_at(i);
        ASSERT_NE(e, nullptr);
        EXPECT_GE(e->ordinal, 1);
        EXPECT_LE(e->ordinal, 40);
        if (prev) {
            EXPECT_LT(prev->ordinal, e->ordinal);
            EXPECT_LT(std::strcmp(prev->name, e->name), 0);
        }
        EXPECT_EQ(kalm_export_by_name(e->name), e);
        EXPECT_EQ(kalm_export_by_ordinal(e->ordinal), e);
        prev = e;
    }
    EXPECT_EQ(kalm_export_at(n), nullptr);
    EXPECT_EQ(kalm_export_by_name("ceil")->ordinal, 12);
    EXPECT_EQ(kalm_export_by_name("sqrtf")->ordinal, 36);
    EXPECT_EQ(kalm_dll_main(nullptr, 0, nullptr), 1);
    EXPECT_EQ(kalm_dll_main(nullptr, 1, nullptr), 1);
}

TEST(ExportTable, HostileLookupsAndCallsAreErrorsNotCrashes) {
    EXPECT_EQ(kalm_export_by_name(nullptr), nullptr);
    EXPECT_EQ(kalm_export_by_name(""), nullptr);
    EXPECT_EQ(kalm_export_by_name("sqrtl"), nullptr);
    EXPECT_EQ(kalm_export_by_ordinal(0), nullptr);
    EXPECT_EQ(kalm_export_by_ordinal(41), nullptr);
    EXPECT_EQ(kalm_export_by_ordinal(-1), nullptr);
    uint32_t args[4] = {0, 0x40000000, 0, 0x40000000};
    uint32_t out[2] = {0xDEAD, 0xBEEF};
    EXPECT_EQ(kalm_call(0, args, 4, out, 2, 0), KALM_ERR_NO_SUCH_EXPORT);
    EXPECT_EQ(kalm_call(12345, args, 4, out, 2, 0), KALM_ERR_NO_SUCH_EXPORT);
    EXPECT_EQ(kalm_call(35, args, 1, out, 2, 0), KALM_ERR_TOO_FEW_ARGS);   // sqrt needs 2 words
    EXPECT_EQ(kalm_call(23, args, 3, out, 2, 0), KALM_ERR_TOO_FEW_ARGS);   // fmod needs 4
    EXPECT_EQ(kalm_call(35, args, 2, out, 1, 0), KALM_ERR_RESULT_SPACE);   // double result needs 2
    EXPECT_EQ(kalm_call(35, nullptr, 2, out, 2, 0), KALM_ERR_NULL);
    EXPECT_EQ(kalm_call(35, args, 2, nullptr, 2, 0), KALM_ERR_NULL);
    EXPECT_EQ(out[0], 0xDEADu);  // nothing written on an error
    EXPECT_EQ(kalm_call(36, args + 1, 1, out, 1, 0), KALM_OK);  // sqrtf(2.0f)
    EXPECT_EQ(out[0], 0x3FB504F3u);
    EXPECT_EQ(kalm_call(35, args, 2, out, 2, 0), KALM_OK);  // extra result space is fine
}

TEST(ExportTable, HandlerThatThrowsPropagatesItsOwnException) {
    kalm_set_raise_handler([](uint32_t, int, uintptr_t, void*) { throw std::runtime_error("from handler"); }, nullptr);
    kalm_set_control_word(0);
    EXPECT_THROW((void)kalm_sqrt(-1.0), std::runtime_error);
    kalm_set_raise_handler(nullptr, nullptr);
    kalm_set_control_word(KALM_MASK_ALL);
}

// Every thread with its own control word and handler, calling every export
// through the table: no raise, mask or flag crosses between threads.
TEST(Threads, MasksHandlersAndFlagsStayWithTheirThread) {
    constexpr int kThreads = 4;
    std::atomic<int> failures{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([t, &failures] {
            struct Count {
                long raises = 0;
                int thread;
            } count{0, t};
            kalm_set_raise_handler(
                [](uint32_t, int, uintptr_t ra, void* user) {
                    auto* c = static_cast<Count*>(user);
                    // Internal calls report inside the library; never at another thread's address.
                    const bool other = ra >= 0x1000 && ra < 0x1000 + kThreads && ra != static_cast<uintptr_t>(0x1000 + c->thread);
                    c->raises = other ? -1000000 : c->raises + 1;
                },
                &count);
            const uint32_t cw = (t % 2) ? KALM_MASK_ALL : 0;  // odd threads mask everything
            kalm_set_control_word(cw);
            std::mt19937 g(static_cast<unsigned>(t));
            for (int i = 0; i < 20000; ++i) {
                const kalm_export* e = kalm_export_at(static_cast<size_t>(g()) % kalm_export_count());
                uint32_t args[4] = {static_cast<uint32_t>(g()), static_cast<uint32_t>(g()), static_cast<uint32_t>(g()),
                                    static_cast<uint32_t>(g())};
                if (e->signature == KALM_SIG_ID_D) args[0] &= 0xFF;
                uint32_t out[2];
                kalm_call(e->ordinal, args, 4, out, 2, static_cast<uintptr_t>(0x1000 + t));
                if (kalm_control_word() != cw) ++failures;
            }
            if ((t % 2) && count.raises != 0) ++failures;
            if (!(t % 2) && count.raises <= 0) ++failures;
            kalm_set_raise_handler(nullptr, nullptr);
            kalm_set_control_word(KALM_MASK_ALL);
        });
    }
    for (auto& th : pool) th.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
