// SPDX-License-Identifier: MIT
// Frame semantics: flag clearing, priority, masks, report addresses and
// per-thread state.
#include <gtest/gtest.h>

#include <thread>

#include "abi/exports.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"
#include "kalmlib/kalmlib.hpp"
#include "support/oracles.hpp"
#include "support/raise_recorder.hpp"

using namespace kalm::lib;

namespace {

using kalmtest::RaiseRecorder;

TEST(Frame, FlagsSetBeforeAFramedCallNeverRaiseInIt) {
    kalm::ScopedUnmask all(KALM_MASK_ALL);
    write_sticky(0x1D);
    EXPECT_NO_THROW((void)kalm::lib::floor(2.0, 1));
    EXPECT_EQ(read_sticky(), 0u);  // cleared on entry, nothing raised inside
}

TEST(Frame, InexactStaysSetAfterAMaskedReturn) {
    clear_sticky();
    EXPECT_EQ(kalm::lib::floor(2.5, 1), 2.0);
    EXPECT_EQ(read_sticky(), 0x10u);
}

TEST(Frame, StatusBitsOtherThanTheStickyFlagsSurvive) {
    kalm_set_status(0x80000002u | 0x10u);
    (void)kalm::lib::floor(2.5, 1);
    EXPECT_EQ(kalm_status() & ~0x1Du, 0x80000002u);
    kalm::ScopedUnmask all(KALM_MASK_ALL);
    kalm_set_status(0x00000002u);
    EXPECT_NO_THROW((void)kalm::lib::floor(2.0, 1));  // bit 1 never raises
    EXPECT_EQ(kalm_status(), 0x00000002u);
    kalm_set_status(0);
}

TEST(Frame, OnlyTheHighestPriorityFlagIsConsidered) {
    // Invalid + inexact set: invalid unmasked raises invalid.
    write_sticky(0x11);
    {
        kalm::ScopedControlWord cw(KALM_MASK_ALL & ~KALM_MASK_INVALID);
        try {
            (void)fp_check_flags(f64(1.0), 5);
            ADD_FAILURE();
        } catch (const kalm::FpException& e) {
            EXPECT_EQ(e.status_code(), 0xC0000090u);
            EXPECT_EQ(e.report_address(), 5u);
        }
    }
    // Invalid masked, inexact unmasked: nothing at all.
    write_sticky(0x11);
    {
        kalm::ScopedControlWord cw(KALM_MASK_ALL & ~KALM_MASK_INEXACT);
        EXPECT_NO_THROW((void)fp_check_flags(f64(1.0), 5));
    }
    // Overflow + inexact with overflow masked: nothing, whatever the inexact mask.
    write_sticky(0x14);
    {
        kalm::ScopedControlWord cw(KALM_MASK_OVERFLOW);
        EXPECT_NO_THROW((void)fp_check_flags(f64(1.0), 5));
    }
    // Underflow + inexact: underflow first.
    write_sticky(0x18);
    {
        kalm::ScopedControlWord cw(0);
        try {
            (void)fp_check_flags(f32(1.0f), 5);
            ADD_FAILURE();
        } catch (const kalm::FpException& e) {
            EXPECT_EQ(e.status_code(), 0xC0000093u);
        }
    }
    EXPECT_EQ(read_sticky(), 0x18u);  // the exit check leaves the flags set
    clear_sticky();
}

TEST(Frame, InnerEntryReportsTheHandedAddress) {
    kalm::ScopedUnmask all(KALM_MASK_ALL);
    try {
        (void)kalm::lib::sqrt(-1.0, 0xABCDEF);
        ADD_FAILURE();
    } catch (const kalm::FpException& e) {
        EXPECT_EQ(e.status_code(), 0xC0000090u);
        EXPECT_EQ(e.code(), kalm::FpCode::invalid);
        EXPECT_EQ(e.report_address(), 0xABCDEFu);
    }
}

TEST(Frame, ExportEntryCalledFromLibraryReportsInsideTheLibrary) {
    RaiseRecorder rec;
    (void)floor_at_export(0.5);
    EXPECT_EQ(rec.code, FP_INEXACT);
    EXPECT_NE(rec.address, 0u);
    rec.reset();
    (void)soft_ddiv_local(1.0, 0.0);
    EXPECT_EQ(rec.code, FP_DIVIDE_BY_ZERO);
}

TEST(Frame, AReturningHandlerGetsTheMaskedResult) {
    RaiseRecorder rec;
    EXPECT_EQ(oracle::dbits(static_cast<double>(kalm::lib::sqrt(-4.0, 9))), 0xFFF8000000000000ull);
    EXPECT_EQ(rec.code, FP_INVALID);
    EXPECT_EQ(rec.address, 9u);
}

TEST(Frame, ControlWordsAndFlagsArePerThread) {
    kalm_set_control_word(KALM_MASK_ALL);
    write_sticky(0x10);
    std::uint32_t other_cw = 0;
    bool other_threw = false;
    std::thread t([&] {
        other_cw = kalm_control_word();
        clear_sticky();  // a new thread starts with a copy of its creator's flags
        kalm_set_control_word(0);
        try {
            (void)kalm::lib::floor(0.5, 1);
        } catch (const kalm::FpException&) {
            other_threw = true;
        }
        write_sticky(0x01);
    });
    t.join();
    EXPECT_EQ(other_cw, 0x1Fu);   // the default, not this thread's word
    EXPECT_TRUE(other_threw);
    EXPECT_EQ(kalm_control_word(), 0x1Fu);
    EXPECT_EQ(read_sticky(), 0x10u);
    EXPECT_NO_THROW((void)kalm::lib::floor(0.5, 1));
    clear_sticky();
}

}  // namespace
