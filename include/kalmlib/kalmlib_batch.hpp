// SPDX-License-Identifier: MIT
// C++ batch evaluation (C++20): kalm::batch::NAME(x, y) over spans, with the
// guarantees of kalmlib_batch.h (results bit-identical to the scalar export,
// the caller's flags and environment untouched, nothing raised or thrown).
//
// Sizes: y.size() must equal x.size() (and b.size() for the two-argument
// forms); otherwise the call returns KALM_ERR_SIZE and writes nothing. Every
// other code is the C entry's: KALM_OK, KALM_ERR_OVERLAP (y partially
// overlapping an input; y may be the input itself), KALM_ERR_NULL (a span with
// a null data pointer and a nonzero size, which only a misuse makes).
//
// The names are the scalar C++ names (kalm::batch::sin, sinf, y0, yn), and, as
// in kalmlib.hpp, a float span given to a double name calls the single
// function: kalm::batch::sin(std::span<const float>, std::span<float>) is sinf.
#pragma once

#include <cstddef>
#include <span>

#include "kalmlib/kalmlib.h"
#include "kalmlib/kalmlib_batch.h"

namespace kalm::batch {

namespace detail {
template <class T>
inline int one(int (*f)(const T*, T*, std::size_t), std::span<const T> x, std::span<T> y) {
    if (x.size() != y.size()) return KALM_ERR_SIZE;
    return f(x.data(), y.data(), x.size());
}
template <class T>
inline int two(int (*f)(const T*, const T*, T*, std::size_t), std::span<const T> a, std::span<const T> b,
               std::span<T> y) {
    if (a.size() != y.size() || b.size() != y.size()) return KALM_ERR_SIZE;
    return f(a.data(), b.data(), y.data(), y.size());
}
}  // namespace detail

// The instruction set of the batch entries (KALM_BATCH_SCALAR, _AVX2, _AVX512).
inline int isa() { return kalm_batch_isa(); }
[[nodiscard]] inline int set_isa(int isa) { return kalm_batch_set_isa(isa); }

#define KALM_BATCH_CXX_D_(stem) \
    [[nodiscard]] inline int stem(std::span<const double> x, std::span<double> y) { return detail::one(&kalm_batch_##stem, x, y); }
#define KALM_BATCH_CXX_F_(stem) \
    [[nodiscard]] inline int stem(std::span<const float> x, std::span<float> y) { return detail::one(&kalm_batch_##stem, x, y); }
#define KALM_BATCH_CXX_DD_(stem)                                                                 \
    [[nodiscard]] inline int stem(std::span<const double> a, std::span<const double> b, std::span<double> y) { \
        return detail::two(&kalm_batch_##stem, a, b, y);                                         \
    }
#define KALM_BATCH_CXX_FF_(stem)                                                              \
    [[nodiscard]] inline int stem(std::span<const float> a, std::span<const float> b, std::span<float> y) { \
        return detail::two(&kalm_batch_##stem, a, b, y);                                      \
    }
// A single function under its own name and under the double one's.
#define KALM_BATCH_CXX_PAIR_(d, f) KALM_BATCH_CXX_D_(d) KALM_BATCH_CXX_F_(f) \
    [[nodiscard]] inline int d(std::span<const float> x, std::span<float> y) { return detail::one(&kalm_batch_##f, x, y); }
#define KALM_BATCH_CXX_PAIR2_(d, f) KALM_BATCH_CXX_DD_(d) KALM_BATCH_CXX_FF_(f)                                    \
    [[nodiscard]] inline int d(std::span<const float> a, std::span<const float> b, std::span<float> y) {        \
        return detail::two(&kalm_batch_##f, a, b, y);                                                            \
    }

KALM_BATCH_CXX_D_(y0)
KALM_BATCH_CXX_D_(y1)
[[nodiscard]] inline int yn(int order, std::span<const double> x, std::span<double> y) {
    if (x.size() != y.size()) return KALM_ERR_SIZE;
    return kalm_batch_yn(order, x.data(), y.data(), x.size());
}
[[nodiscard]] inline int yn(std::span<const int> order, std::span<const double> x, std::span<double> y) {
    if (order.size() != x.size() || x.size() != y.size()) return KALM_ERR_SIZE;
    return kalm_batch_yn_orders(order.data(), x.data(), y.data(), x.size());
}
KALM_BATCH_CXX_PAIR_(acos, acosf)
KALM_BATCH_CXX_PAIR_(asin, asinf)
KALM_BATCH_CXX_PAIR_(atan, atanf)
KALM_BATCH_CXX_PAIR2_(atan2, atan2f)
KALM_BATCH_CXX_PAIR_(ceil, ceilf)
KALM_BATCH_CXX_PAIR_(cos, cosf)
KALM_BATCH_CXX_PAIR_(cosh, coshf)
KALM_BATCH_CXX_PAIR_(exp, expf)
KALM_BATCH_CXX_F_(fabsf)
[[nodiscard]] inline int fabs(std::span<const float> x, std::span<float> y) { return detail::one(&kalm_batch_fabsf, x, y); }
KALM_BATCH_CXX_PAIR_(floor, floorf)
KALM_BATCH_CXX_PAIR2_(fmod, fmodf)
KALM_BATCH_CXX_PAIR_(log, logf)
KALM_BATCH_CXX_PAIR_(log10, log10f)
KALM_BATCH_CXX_PAIR2_(pow, powf)
KALM_BATCH_CXX_PAIR_(sin, sinf)
KALM_BATCH_CXX_PAIR_(sinh, sinhf)
KALM_BATCH_CXX_PAIR_(sqrt, sqrtf)
KALM_BATCH_CXX_PAIR_(tan, tanf)
KALM_BATCH_CXX_PAIR_(tanh, tanhf)

#undef KALM_BATCH_CXX_D_
#undef KALM_BATCH_CXX_F_
#undef KALM_BATCH_CXX_DD_
#undef KALM_BATCH_CXX_FF_
#undef KALM_BATCH_CXX_PAIR_
#undef KALM_BATCH_CXX_PAIR2_

}  // namespace kalm::batch
