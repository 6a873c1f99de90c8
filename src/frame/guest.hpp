// SPDX-License-Identifier: MIT
// Guest calls: an export run for a thread of an emulated device, with the
// guest's control word and status word instead of the host thread's. While
// one is in progress tls_guest_call is set, and the raise service, instead of
// the thread's handler or kalm::FpException, throws GuestRaise to the
// guest-call entry, which catches it: nothing of it leaves the library. (A flag
// of its own, not a bit of the control word: the host may set any bits there.)
#pragma once

#include <cstdint>

#include "frame/frame.hpp"

namespace kalm::lib {

extern KALM_TLS bool tls_guest_call KALM_TLS_IE;

struct GuestRaise {
    FpExceptionCode code;
    report_t ra;
};

// The routines that report against their own call site inside the library
// (values as KALM_INTERNAL_* in kalmlib.h). Each notes itself when entered, so
// that a raise reported inside the library can be told by the routine called,
// an identity that holds across builds, where its host address does not.
enum InternalCall : std::uint8_t {
    INTERNAL_NONE = 0,
    INTERNAL_DIVISION = 1,    // the double division reporting against its own call
    INTERNAL_DIVISION_F = 2,  // the single one
    INTERNAL_FLOOR = 3,       // floor at its export entry (the reduction by pi/2)
    INTERNAL_FLOORF = 4,      // floorf at its export entry (the single reduction)
    INTERNAL_SCALE_POW2 = 5,  // scaling by a power of two (pow, the reduction)
};

extern KALM_TLS std::uint8_t tls_internal_call KALM_TLS_IE;
// One store on paths that are already out of line; it changes nothing else.
inline void note_internal_call(InternalCall c) { tls_internal_call = c; }

}  // namespace kalm::lib
