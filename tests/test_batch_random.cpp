// SPDX-License-Identifier: MIT
// The kernels of every instruction set this CPU runs against the scalar
// exports on random arguments drawn over each export's special ranges
// (tools/vectors/batch_random.hpp, what the cross test runs under qemu with
// far more arguments): a quick pass of every kernel in every build.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "abi/batch_kernels.hpp"
#include "batch_random.hpp"
#include "kalmlib/kalmlib_batch.h"

namespace {

class BatchRandom : public testing::TestWithParam<std::string> {};

TEST_P(BatchRandom, KernelsMatchTheScalarExport) {
    const int best = kalm_batch_isa();
    int sets = 0;
    for (int isa : {KALM_BATCH_AVX2, KALM_BATCH_AVX512, KALM_BATCH_NEON}) {
        if (kalm_batch_set_isa(isa) != KALM_OK) continue;
        ++sets;
        kalmtool::RandomTally t;
        ASSERT_TRUE(kalmtool::random_batch_check(GetParam(), 30000, 3, t));
        EXPECT_EQ(t.compared, 30000);
        EXPECT_EQ(t.mismatches, 0) << "instruction set " << isa;
        for (const auto& m : t.messages) ADD_FAILURE() << m;
    }
    kalm_batch_set_isa(best);
    if (sets == 0) GTEST_SKIP() << "no kernel instruction set on this CPU or build";
}

INSTANTIATE_TEST_SUITE_P(Kernels, BatchRandom, testing::ValuesIn(kalmtool::batch_kernel_exports()),
                         [](const testing::TestParamInfo<std::string>& i) { return i.param; });

TEST(BatchRandomList, EveryKernelExportAndNothingElse) {
    // The list the cross test draws for is the exports with kernels in
    // abi/batch_kernels.hpp (where this build has any): a kernel added
    // without its draws would go unchecked under qemu.
    std::set<std::string> kernels;
#define KALM_ROW(name, sig, isa) kernels.insert(#name);
    KALM_BATCH_KERNEL_LIST(KALM_ROW)
#undef KALM_ROW
    const auto& drawn = kalmtool::batch_kernel_exports();
    if (!kernels.empty()) {
        EXPECT_EQ(kernels, std::set<std::string>(drawn.begin(), drawn.end()));
    }
    EXPECT_EQ(drawn.size(), 41u);
    kalmtool::RandomTally t;
    EXPECT_FALSE(kalmtool::random_batch_check("no_such_export", 10, 1, t));
    EXPECT_EQ(t.compared, 0);
}

}  // namespace
