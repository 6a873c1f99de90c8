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

// The inner entries take and give the routines' arithmetic types
// (host/soft_float.hpp); the export entries the ABI's double and float.
#define KALM_INNER_RESULT_D_D f64
#define KALM_INNER_RESULT_DD_D f64
#define KALM_INNER_RESULT_ID_D f64
#define KALM_INNER_RESULT_F_F f32
#define KALM_INNER_RESULT_FF_F f32
#define KALM_INNER_PARAMS_D_D f64 a
#define KALM_INNER_PARAMS_DD_D f64 a, f64 b
#define KALM_INNER_PARAMS_ID_D int n, f64 a
#define KALM_INNER_PARAMS_F_F f32 a
#define KALM_INNER_PARAMS_FF_F f32 a, f32 b
#define KALM_INNER_RESULT(sig) KALM_INNER_RESULT_##sig
#define KALM_INNER_PARAMS(sig) KALM_INNER_PARAMS_##sig

// A framed routine's entry clears the flags, then runs the routine.
#define KALM_INNER_FRAMED(name, sig)                                               \
    KALM_INNER_RESULT(sig) name##_cleared(KALM_INNER_PARAMS(sig), report_t ra);   \
    inline KALM_INNER_RESULT(sig) name(KALM_INNER_PARAMS(sig), report_t ra) {     \
        fp_clear_flags();                                                         \
        return name##_cleared(KALM_SIG_ARGS(sig), ra);                            \
    }
// The unframed single functions and the rounding exports, which clear and
// check in their own way.
#define KALM_INNER_UNFRAMED(name, sig) KALM_INNER_RESULT(sig) name(KALM_INNER_PARAMS(sig), report_t ra);
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
f64 floor_at_export(f64 x);
f32 floorf_at_export(f32 x);
// fabsf can raise nothing, so its report address never matters: done in place,
// clearing the flags as its entry does.
inline f32 fabsf_at_export(f32 x) {
    fp_clear_flags();
    return masked(x, 0x7FFFFFFFu);
}
// expf, logf and atanf called from other single functions at their export entry
// are unframed, so they are plain calls: expf(x, ra) with the caller's ra.

}  // namespace kalm::lib
