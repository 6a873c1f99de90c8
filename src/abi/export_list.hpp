// SPDX-License-Identifier: MIT
// The list of the 40 exports, from which every other list is made: internal
// declarations, the export table, the C entries, the tools' catalogue, tests.
// A row is X(name, stem, signature, kind):
//   name       the device's export name (its ordinal is its place in this list,
//              counting from 1: the byte order of the names, checked below)
//   stem       kalm_<stem> is the C entry, kalm::<stem> the C++ one
//   signature  D_D double(double), DD_D double(double, double),
//              ID_D double(int, double), F_F float(float), FF_F float(float, float)
//   kind       FRAMED: clears the flags at entry and checks them at exit, with an
//              inner entry for library code that clears them first;
//              UNFRAMED: a single function that leaves its flags to the caller
//              and raises only through the routines it calls;
//              ROUNDING: ceil, floor, fabsf and their kin, which clear and
//              check in their own way
// Adding an export: one row here (in byte order) and its implementation.
#pragma once

#include <cstddef>
#include <string_view>

#define KALM_EXPORT_LIST(X)              \
    X(_y0, y0, D_D, FRAMED)              \
    X(_y1, y1, D_D, FRAMED)              \
    X(_yn, yn, ID_D, FRAMED)             \
    X(acos, acos, D_D, FRAMED)           \
    X(acosf, acosf, F_F, UNFRAMED)       \
    X(asin, asin, D_D, FRAMED)           \
    X(asinf, asinf, F_F, UNFRAMED)       \
    X(atan, atan, D_D, FRAMED)           \
    X(atan2, atan2, DD_D, FRAMED)        \
    X(atan2f, atan2f, FF_F, UNFRAMED)    \
    X(atanf, atanf, F_F, UNFRAMED)       \
    X(ceil, ceil, D_D, ROUNDING)         \
    X(ceilf, ceilf, F_F, ROUNDING)       \
    X(cos, cos, D_D, FRAMED)             \
    X(cosf, cosf, F_F, UNFRAMED)         \
    X(cosh, cosh, D_D, FRAMED)           \
    X(coshf, coshf, F_F, UNFRAMED)       \
    X(exp, exp, D_D, FRAMED)             \
    X(expf, expf, F_F, UNFRAMED)         \
    X(fabsf, fabsf, F_F, ROUNDING)       \
    X(floor, floor, D_D, ROUNDING)       \
    X(floorf, floorf, F_F, ROUNDING)     \
    X(fmod, fmod, DD_D, FRAMED)          \
    X(fmodf, fmodf, FF_F, FRAMED)        \
    X(log, log, D_D, FRAMED)             \
    X(log10, log10, D_D, FRAMED)         \
    X(log10f, log10f, F_F, UNFRAMED)     \
    X(logf, logf, F_F, UNFRAMED)         \
    X(pow, pow, DD_D, FRAMED)            \
    X(powf, powf, FF_F, UNFRAMED)        \
    X(sin, sin, D_D, FRAMED)             \
    X(sinf, sinf, F_F, UNFRAMED)         \
    X(sinh, sinh, D_D, FRAMED)           \
    X(sinhf, sinhf, F_F, UNFRAMED)       \
    X(sqrt, sqrt, D_D, FRAMED)           \
    X(sqrtf, sqrtf, F_F, FRAMED)         \
    X(tan, tan, D_D, FRAMED)             \
    X(tanf, tanf, F_F, UNFRAMED)         \
    X(tanh, tanh, D_D, FRAMED)           \
    X(tanhf, tanhf, F_F, UNFRAMED)

// Parameter lists, argument lists and result types of the signatures.
#define KALM_SIG_RESULT_D_D double
#define KALM_SIG_RESULT_DD_D double
#define KALM_SIG_RESULT_ID_D double
#define KALM_SIG_RESULT_F_F float
#define KALM_SIG_RESULT_FF_F float
#define KALM_SIG_PARAMS_D_D double a
#define KALM_SIG_PARAMS_DD_D double a, double b
#define KALM_SIG_PARAMS_ID_D int n, double a
#define KALM_SIG_PARAMS_F_F float a
#define KALM_SIG_PARAMS_FF_F float a, float b
#define KALM_SIG_ARGS_D_D a
#define KALM_SIG_ARGS_DD_D a, b
#define KALM_SIG_ARGS_ID_D n, a
#define KALM_SIG_ARGS_F_F a
#define KALM_SIG_ARGS_FF_F a, b
#define KALM_SIG_RESULT(sig) KALM_SIG_RESULT_##sig
#define KALM_SIG_PARAMS(sig) KALM_SIG_PARAMS_##sig
#define KALM_SIG_ARGS(sig) KALM_SIG_ARGS_##sig

namespace kalm::exports {

#define KALM_LIST_NAME(name, stem, sig, kind) #name,
inline constexpr std::string_view names[] = {KALM_EXPORT_LIST(KALM_LIST_NAME)};
#undef KALM_LIST_NAME
inline constexpr std::size_t count = std::size(names);

enum class Kind { FRAMED, UNFRAMED, ROUNDING };
#define KALM_LIST_KIND(name, stem, sig, kind) Kind::kind,
inline constexpr Kind kinds[] = {KALM_EXPORT_LIST(KALM_LIST_KIND)};
#undef KALM_LIST_KIND

// Ordinals, from 1 in list order: ord::sqrt is sqrt's.
namespace ord {
#define KALM_LIST_ORDINAL(name, stem, sig, kind) stem,
enum Ordinal : unsigned { none_ = 0, KALM_EXPORT_LIST(KALM_LIST_ORDINAL) };
#undef KALM_LIST_ORDINAL
}  // namespace ord

constexpr bool in_byte_order() {
    for (std::size_t i = 1; i < count; ++i)
        if (!(names[i - 1] < names[i])) return false;
    return true;
}
static_assert(in_byte_order(), "the exports are listed in the byte order of their names");
static_assert(count == 40 && ord::tanhf == 40);

}  // namespace kalm::exports
