// SPDX-License-Identifier: MIT
// The exp/log/pow batch kernels: the lanes of explog/batch_lanes.inc compiled
// for AVX-512 (16 floats, 8 doubles per block) and for AVX2 (8 and 4), each
// rare lane handed to the scalar export.
#include "explog/batch_simd.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

namespace kalm::lib::batch {
namespace {

float scalar_expf(float x) { return exported::expf(x, 0); }
float scalar_logf(float x) { return exported::logf(x, 0); }
float scalar_log10f(float x) { return exported::log10f(x, 0); }
double scalar_exp(double x) { return exported::exp(x, 0); }
double scalar_log(double x) { return exported::log(x, 0); }
double scalar_log10(double x) { return exported::log10(x, 0); }
float scalar_powf(float x, float y) { return exported::powf(x, y, 0); }
double scalar_pow(double x, double y) { return exported::pow(x, y, 0); }

}  // namespace

KALM_ISA_BEGIN(KALM_ISA_AVX512)
namespace {
namespace avx512 {
template <typename M>
KALM_LANES bool any_lane(const M& m) {
    __m512i v;
    static_assert(sizeof m <= sizeof v);
    if constexpr (sizeof m == 64) {
        __builtin_memcpy(&v, &m, 64);
        return _mm512_test_epi64_mask(v, v) != 0;
    } else {
        __m256i h;
        __builtin_memcpy(&h, &m, 32);
        return !_mm256_testz_si256(h, h);
    }
}
#include "explog/batch_lanes.inc"
}  // namespace avx512
}  // namespace

void expf_avx512(const float* x, float* y, std::size_t n) {
    using namespace avx512;
    run1<Lanes<float, 16>>(x, y, n, 0.0f, ExpfLanes<16>{}, scalar_expf);
}

void logf_avx512(const float* x, float* y, std::size_t n) {
    using namespace avx512;
    run1<Lanes<float, 16>>(x, y, n, 1.0f, LogfLanes<16>{}, scalar_logf);
}

void log10f_avx512(const float* x, float* y, std::size_t n) {
    using namespace avx512;
    run1<Lanes<float, 16>>(x, y, n, 1.0f, Log10fLanes<16>{}, scalar_log10f);
}

void exp_avx512(const double* x, double* y, std::size_t n) {
    using namespace avx512;
    run1<Lanes<double, 8>>(x, y, n, 0.0, ExpLanes<8>{}, scalar_exp);
}

void log_avx512(const double* x, double* y, std::size_t n) {
    using namespace avx512;
    run1<Lanes<double, 8>>(x, y, n, 1.0, LogLanes<8>{}, scalar_log);
}

void log10_avx512(const double* x, double* y, std::size_t n) {
    using namespace avx512;
    run1<Lanes<double, 8>>(x, y, n, 1.0, Log10Lanes<8>{}, scalar_log10);
}

void powf_avx512(const float* x, const float* b, float* y, std::size_t n) {
    using namespace avx512;
    run2<Lanes<float, 16>>(x, b, y, n, 2.0f, 3.0f, PowfLanes<16>{}, scalar_powf);
}

void pow_avx512(const double* x, const double* b, double* y, std::size_t n) {
    using namespace avx512;
    run2<Lanes<double, 8>>(x, b, y, n, 2.0, 3.0, PowLanes<8>{}, scalar_pow);
}
KALM_ISA_END

KALM_ISA_BEGIN(KALM_ISA_AVX2)
namespace {
namespace avx2 {
template <typename M>
KALM_LANES bool any_lane(const M& m) {
    static_assert(sizeof m == 32);
    __m256i h;
    __builtin_memcpy(&h, &m, 32);
    return !_mm256_testz_si256(h, h);
}
#include "explog/batch_lanes.inc"
}  // namespace avx2
}  // namespace

void expf_avx2(const float* x, float* y, std::size_t n) {
    using namespace avx2;
    run1<Lanes<float, 8>>(x, y, n, 0.0f, ExpfLanes<8>{}, scalar_expf);
}

void logf_avx2(const float* x, float* y, std::size_t n) {
    using namespace avx2;
    run1<Lanes<float, 8>>(x, y, n, 1.0f, LogfLanes<8>{}, scalar_logf);
}

void log10f_avx2(const float* x, float* y, std::size_t n) {
    using namespace avx2;
    run1<Lanes<float, 8>>(x, y, n, 1.0f, Log10fLanes<8>{}, scalar_log10f);
}

void exp_avx2(const double* x, double* y, std::size_t n) {
    using namespace avx2;
    run1<Lanes<double, 4>>(x, y, n, 0.0, ExpLanes<4>{}, scalar_exp);
}

void log_avx2(const double* x, double* y, std::size_t n) {
    using namespace avx2;
    run1<Lanes<double, 4>>(x, y, n, 1.0, LogLanes<4>{}, scalar_log);
}

void log10_avx2(const double* x, double* y, std::size_t n) {
    using namespace avx2;
    run1<Lanes<double, 4>>(x, y, n, 1.0, Log10Lanes<4>{}, scalar_log10);
}

void powf_avx2(const float* x, const float* b, float* y, std::size_t n) {
    using namespace avx2;
    run2<Lanes<float, 8>>(x, b, y, n, 2.0f, 3.0f, PowfLanes<8>{}, scalar_powf);
}

void pow_avx2(const double* x, const double* b, double* y, std::size_t n) {
    using namespace avx2;
    run2<Lanes<double, 4>>(x, b, y, n, 2.0, 3.0, PowLanes<4>{}, scalar_pow);
}
KALM_ISA_END

}  // namespace kalm::lib::batch

#endif
