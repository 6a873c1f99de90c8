// SPDX-License-Identifier: MIT
// Sampling and call helpers of the double-precision family tests: random
// arguments over ranges, one masked call's result bits and flags, and every
// raise of a call under a chosen unmask.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "kalmlib/kalmlib.hpp"

namespace kalmtest {

inline constexpr std::uintptr_t RA = 0x6B6B20;  // an address handed to the report-address entries

inline long sample_count() {
    const char* e = std::getenv("KALM_HB_COUNT");
    return e ? std::atol(e) : 3000;
}

// Uniform in [lo, hi), or log-uniform when the range spans orders of magnitude.
inline double draw(double lo, double hi, bool log_scale) {
    static std::mt19937_64 g(0x6B657373656CULL);
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(g);
    return log_scale ? std::exp(std::log(lo) + u * (std::log(hi) - std::log(lo))) : lo + u * (hi - lo);
}

struct Range {
    double lo, hi;
    bool log_scale;
};

// Result bits and sticky flags of one masked call.
struct Outcome {
    std::uint64_t bits;
    std::uint32_t flags;
    bool operator==(const Outcome&) const = default;
};
template <typename F>
Outcome run(F call) {
    kalm::clear_flags();
    const double r = call();
    return {std::bit_cast<std::uint64_t>(r), kalm::status() & 0x1Du};
}

// Every raise during a call, which then goes on as if masked.
struct RaiseLog {
    std::vector<std::pair<int, std::uintptr_t>> raises;
    explicit RaiseLog(std::uint32_t unmasked) : saved_(kalm::control_word()) {
        kalm_set_raise_handler(
            [](uint32_t, int code, uintptr_t ra, void* self) {
                static_cast<RaiseLog*>(self)->raises.emplace_back(code, ra);
            },
            this);
        kalm::set_control_word(KALM_MASK_ALL & ~unmasked);
    }
    ~RaiseLog() {
        kalm_set_raise_handler(nullptr, nullptr);
        kalm::set_control_word(saved_);
    }
    bool all_against(std::uintptr_t a) const {
        for (const auto& r : raises)
            if (r.second != a) return false;
        return !raises.empty();
    }

private:
    std::uint32_t saved_;
};


}  // namespace kalmtest
