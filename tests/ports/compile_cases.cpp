// SPDX-License-Identifier: MIT
// Uses of the C++ interface that must not compile, one per KALM_CASE; with
// KALM_CASE 0 only the lines that must compile, so that a failing case fails
// for its own line.
#include <cmath>
#include <cstdint>

#include "kalmlib/kalmlib.hpp"

namespace app {
using kalm::sqrt;  // hides ::sqrt here
inline double root() { return sqrt(4.0); }
}  // namespace app

int main() {
    // The lines that must compile.
    kalm::ScopedUnmask unmask(KALM_MASK_ALL & ~KALM_MASK_INEXACT);
    kalm::ScopedControlWord cw(KALM_MASK_ALL);
    kalm_set_control_word(KALM_MASK_ALL);
    kalm::set_status(KALM_FLAG_INEXACT | KALM_FLAG_INVALID);
    std::uint32_t word = KALM_FLAGS_ALL;
    word |= KALM_FLAG_OVERFLOW;
    kalm::Mask mask = kalm::control_word();
    mask &= ~KALM_MASK_INVALID;
    const bool any = (kalm::status() & KALM_FLAGS_ALL) != 0u;
    namespace m = kalm;
    double r = m::sqrt(4.0) + app::root() + kalm::fabs(2.0f) + kalm::pow(2.0f, 3) + kalm::sin(1);
    {
        using kalm::sin;  // a block-scope using-declaration hides ::sin too
        r += sin(1.0);
    }

#if KALM_CASE == 1  // a flag where a mask belongs
    kalm::ScopedUnmask wrong(KALM_FLAG_INVALID);
#elif KALM_CASE == 2
    kalm::ScopedControlWord wrong(KALM_FLAGS_ALL);
#elif KALM_CASE == 3
    kalm::set_control_word(KALM_FLAG_INEXACT);
#elif KALM_CASE == 4  // a mask where a flag belongs
    kalm::set_status(KALM_MASK_OVERFLOW);
#elif KALM_CASE == 5  // the two combined
    word = KALM_MASK_INVALID | KALM_FLAG_INVALID;
#elif KALM_CASE == 6
    r += (KALM_MASK_ALL == KALM_FLAGS_ALL);
#elif KALM_CASE == 7
    mask &= KALM_FLAG_INEXACT;
#elif KALM_CASE == 8
    word = kalm::control_word() & KALM_FLAG_INVALID;
#elif KALM_CASE == 9  // a plain integer is no mask
    kalm::Mask wrong = 0x10u;
#elif KALM_CASE == 10  // no double fabs on the device: no narrowing into fabsf
    r += kalm::fabs(2.0);
#elif KALM_CASE == 11  // no long double functions
    r += kalm::sin(1.0L);
#elif KALM_CASE == 12  // using namespace kalm with <cmath>: ambiguous, never the host's silently
    {
        using namespace kalm;
        r += sqrt(4.0);
    }
#elif KALM_CASE != 0
#error unknown case
#endif
    return static_cast<int>(r + word + any + mask) & 0;
}
