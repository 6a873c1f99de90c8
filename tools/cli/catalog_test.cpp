// SPDX-License-Identifier: MIT
// The catalogue against the library's one list of exports: an entry for every
// export, in ordinal order, with the export table's signature, and C entries
// that agree with the word-level entry.
#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "abi/export_list.hpp"
#include "commands.hpp"

namespace {

using namespace kalmtool;

TEST(Catalogue, HasEveryListedExport) {
    EXPECT_TRUE(uncatalogued_exports().empty()) << "no catalogue entry for " << uncatalogued_exports().front();
    ASSERT_EQ(all_export_names().size(), kalm::exports::count);
    const auto& cat = catalogue();
    ASSERT_EQ(cat.size(), kalm::exports::count);
    for (std::size_t i = 0; i < cat.size(); ++i) {
        const Function& f = cat[i];
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.name, kalm::exports::names[i]);
        EXPECT_EQ(all_export_names()[i], f.name);
        ASSERT_NE(f.e, nullptr);
        EXPECT_EQ(f.e->ordinal, static_cast<int>(i + 1));
        EXPECT_EQ(f.signature, f.e->signature);
        EXPECT_EQ(f.single, f.e->result_words == 1);
        EXPECT_NE(f.kalm, nullptr);
        EXPECT_NE(f.host, nullptr);
        EXPECT_NE(f.ref, nullptr);
        EXPECT_FALSE(f.ranges.empty());
        std::string error;
        EXPECT_EQ(find_function(f.name, error), &f);
    }
    // Users name exports as the C and C++ names and the ordinals call them;
    // anything else stays unknown.
    const Function* y0 = &catalogue().front();
    ASSERT_EQ(y0->name, "_y0");
    std::string error;
    for (const char* alias : {"_y0", "y0", "kalm_y0", "kalm__y0", "#1"}) EXPECT_EQ(find_function(alias, error), y0) << alias;
    EXPECT_EQ(find_function("#31", error)->name, "sin");
    EXPECT_EQ(find_function("kalm_sin", error)->name, "sin");
    for (const char* bad : {"y3", "kalm_", "_sin", "#0", "#41", "#01", "#", "#1x", "SIN", "kalm_kalm_sin"}) {
        error.clear();
        EXPECT_EQ(find_function(bad, error), nullptr) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// Each export's special inputs (zeros, infinities, NaN, extremes) through the
// C entry and through kalm_call with the catalogue's argument words: the same
// bits, or the words are packed wrong.
TEST(Catalogue, WordsMatchTheCEntries) {
    kalm_set_control_word(KALM_MASK_ALL);
    for (const Function& f : catalogue()) {
        SCOPED_TRACE(f.name);
        std::vector<Input> inputs = special_inputs(f);
        std::uint64_t state = 7;
        for (int k = 0; k < 8; ++k) inputs.push_back(draw(f.bench, f.single, state));
        for (const Input& in : inputs) {
            int rc = -1;
            const double a = call_kalm(f, in), b = call_kalm_words(f, in, &rc);
            ASSERT_EQ(rc, KALM_OK) << format_input(f, in);
            EXPECT_EQ(std::bit_cast<std::uint64_t>(a), std::bit_cast<std::uint64_t>(b)) << format_input(f, in);
        }
    }
    kalm_clear_flags();
}

}  // namespace
