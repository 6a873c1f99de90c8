// SPDX-License-Identifier: MIT
// Every export in its report-address form, made from the export list:
//   exported::NAME  the export entry: the caller's floating-point environment
//                   set aside for the device's and given back on return. The C
//                   entries (their own return address) and the word-level table
//                   (the address it is handed) call these.
//   NAME            the entry library code calls (inner entries, calls at an
//                   export entry): it runs in the environment already set.
//   NAME_cleared    a framed routine after its entry clearing, for callers that
//                   have just cleared the flags themselves.
#pragma once

#include <cstdint>

#include "abi/export_list.hpp"
#include "frame/frame.hpp"
#include "host/bits.hpp"

namespace kalm::lib {

namespace ord = kalm::exports::ord;

// A framed routine's entry clears the flags, then runs the routine.
#define KALM_INNER_FRAMED(name, sig)                                               \
    KALM_SIG_RESULT(sig) name##_cleared(KALM_SIG_PARAMS(sig), report_t ra);       \
    inline KALM_SIG_RESULT(sig) name(KALM_SIG_PARAMS(sig), report_t ra) {         \
        fp_clear_flags();                                                         \
        return name##_cleared(KALM_SIG_ARGS(sig), ra);                            \
    }
// The unframed single functions and the rounding exports, which clear and
// check in their own way.
#define KALM_INNER_UNFRAMED(name, sig) KALM_SIG_RESULT(sig) name(KALM_SIG_PARAMS(sig), report_t ra);
#define KALM_INNER_ROUNDING(name, sig) KALM_INNER_UNFRAMED(name, sig)
#define KALM_INNER(name, stem, sig, kind) KALM_INNER_##kind(name, sig)
KALM_EXPORT_LIST(KALM_INNER)
#undef KALM_INNER
#undef KALM_INNER_ROUNDING
#undef KALM_INNER_UNFRAMED
#undef KALM_INNER_FRAMED

namespace exported {
#define KALM_EXPORTED(name, stem, sig, kind) KALM_SIG_RESULT(sig) name(KALM_SIG_PARAMS(sig), report_t ra);
KALM_EXPORT_LIST(KALM_EXPORTED)
#undef KALM_EXPORTED
}  // namespace exported

// Export entries called by library code: the report address is the call site
// inside the calling routine, as for any call at an export entry.
double floor_at_export(double x);
float floorf_at_export(float x);
// fabsf can raise nothing, so its report address never matters: done in place,
// clearing the flags as its entry does.
inline float fabsf_at_export(float x) {
    fp_clear_flags();
    return masked(x, 0x7FFFFFFFu);
}
// expf, logf and atanf called from other single functions at their export entry
// are unframed, so they are plain calls: expf(x, ra) with the caller's ra.

}  // namespace kalm::lib
