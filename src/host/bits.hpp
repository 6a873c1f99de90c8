// SPDX-License-Identifier: MIT
// Word access, bit casts and evaluation barriers shared by every routine.
// The library works on IEEE words the way the device did: a double is a high
// word (sign, exponent, top 20 fraction bits) and a low word.
#pragma once

#include <bit>
#include <concepts>
#include <cstdint>
#include <type_traits>

namespace kalm::lib {

using report_t = std::uintptr_t;  // code address an exception is raised against

}  // namespace kalm::lib

// KALM_NOINLINE: a routine that must stay a call of its own (its return address
// is a report address, or its flags are cleared and checked apart from its
// caller's). KALM_RETURN_ADDRESS: the return address of the current
// (non-inlined) function, as a report address.
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#define KALM_NOINLINE __declspec(noinline)
#define KALM_RETURN_ADDRESS (reinterpret_cast<::kalm::lib::report_t>(_ReturnAddress()))
#else
#if defined(__clang__)
// Clang makes no clones of a noinline function and has no noclone attribute.
#define KALM_NOINLINE __attribute__((noinline))
#else
#define KALM_NOINLINE __attribute__((noinline, noclone))
#endif
#if defined(__wasm__)
// WebAssembly has no code addresses, and the engine shows a caller's return
// address to no one (Emscripten's emulation parses a JavaScript stack trace,
// milliseconds a call). A report address there is a site: a routine that
// reports against its own call inside the library has a byte of its own in the
// data section kalm_report_sites, and that byte's address is its report
// address (in_library_site tells them apart from anything a caller passes).
#define KALM_RETURN_ADDRESS                                                                      \
    ([]() noexcept {                                                                             \
        [[gnu::section("kalm_report_sites"), gnu::used]] static const unsigned char site = 0;   \
        return reinterpret_cast<::kalm::lib::report_t>(&site);                                   \
    }())
#else
#define KALM_RETURN_ADDRESS \
    (reinterpret_cast<::kalm::lib::report_t>(__builtin_extract_return_addr(__builtin_return_address(0))))
#endif
#endif
// KALM_CALLER_ADDRESS: the application's call of a C entry. On WebAssembly 0:
// nothing there names the caller (kalm_call and kalm_guest_call take the
// caller's report address as an argument).
#if defined(__wasm__)
#define KALM_CALLER_ADDRESS (::kalm::lib::report_t{0})
#else
#define KALM_CALLER_ADDRESS KALM_RETURN_ADDRESS
#endif

#if defined(__wasm__)
extern "C" const unsigned char __start_kalm_report_sites[], __stop_kalm_report_sites[];
namespace kalm::lib {
// True for the report address of a routine inside the library.
inline bool in_library_site(report_t a) {
    return a >= reinterpret_cast<report_t>(__start_kalm_report_sites) &&
           a < reinterpret_cast<report_t>(__stop_kalm_report_sites);
}
}  // namespace kalm::lib
#endif

// Per-thread state: static TLS on ELF hosts (one load). On Windows
// thread_local, which MinGW-w64 (emulated TLS) and MSVC (the loader's TLS) both
// make work in a DLL, also on threads that existed before the DLL was loaded;
// there the state read on every call is kept apart (host/thread_slot.hpp).
#if defined(_WIN32)
#define KALM_TLS thread_local
#define KALM_TLS_IE
#elif defined(__wasm__)
// WebAssembly: one TLS model (a per-thread block where threads exist at all).
#define KALM_TLS __thread
#define KALM_TLS_IE
#else
#define KALM_TLS __thread
#define KALM_TLS_IE __attribute__((tls_model("initial-exec")))
#endif

namespace kalm::lib {

inline std::uint32_t hi_word(double x) { return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x) >> 32); }
inline std::uint32_t lo_word(double x) { return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x)); }
inline std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }
inline std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }
inline double from_words(std::uint32_t hi, std::uint32_t lo) {
    return std::bit_cast<double>((static_cast<std::uint64_t>(hi) << 32) | lo);
}
// from_bits(64-bit unsigned) is a double, from_bits(32-bit unsigned) a float.
template <typename T>
    requires(std::is_unsigned_v<T> && sizeof(T) == 8)
inline double from_bits(T b) {
    return std::bit_cast<double>(static_cast<std::uint64_t>(b));
}
template <typename T>
    requires(std::is_unsigned_v<T> && sizeof(T) == 4)
inline float from_bits(T b) {
    return std::bit_cast<float>(static_cast<std::uint32_t>(b));
}
inline double with_hi(double x, std::uint32_t hi) { return from_words(hi, lo_word(x)); }
inline double with_lo(double x, std::uint32_t lo) { return from_words(hi_word(x), lo); }
// Signed views of a word, for the "hx < 0" style tests.
inline std::int32_t as_signed(std::uint32_t w) { return static_cast<std::int32_t>(w); }
inline std::uint32_t as_unsigned(std::int32_t w) { return static_cast<std::uint32_t>(w); }

// v with only the bits of `keep` left, done in the floating-point registers:
// splitting a value into a leading part this way sits on the critical path of
// several routines, and a round trip through the integer registers costs about
// six cycles where the vector AND costs one. Raises nothing.
inline float masked(float v, std::uint32_t keep) {
#if defined(__x86_64__)
    const float m = std::bit_cast<float>(keep);
    asm("andps %1, %0" : "+x"(v) : "x"(m));
    return v;
#elif defined(__aarch64__)
    const float m = std::bit_cast<float>(keep);
    asm("and %0.8b, %0.8b, %1.8b" : "+w"(v) : "w"(m));
    return v;
#else
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) & keep);
#endif
}
inline double masked(double v, std::uint64_t keep) {
#if defined(__x86_64__)
    const double m = std::bit_cast<double>(keep);
    asm("andpd %1, %0" : "+x"(v) : "x"(m));
    return v;
#elif defined(__aarch64__)
    const double m = std::bit_cast<double>(keep);
    asm("and %0.8b, %0.8b, %1.8b" : "+w"(v) : "w"(m));
    return v;
#else
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) & keep);
#endif
}
// v's bit pattern read out into an integer register by an instruction of its
// own, for tests on an argument whose arithmetic follows: with std::bit_cast
// the compiler may keep the argument itself in the integer register and move
// it back for the arithmetic, a round trip at the head of its dependency chain.
inline std::uint32_t word_of(float v) {
#if defined(__x86_64__)
    std::uint32_t w;
    asm("movd %1, %0" : "=r"(w) : "x"(v));
    return w;
#else
    return std::bit_cast<std::uint32_t>(v);
#endif
}
inline std::uint64_t word_of(double v) {
#if defined(__x86_64__)
    std::uint64_t w;
    asm("movq %1, %0" : "=r"(w) : "x"(v));
    return w;
#else
    return std::bit_cast<std::uint64_t>(v);
#endif
}

// Word arithmetic on a float's bit pattern, done where the float is (as
// masked() is): v's word plus a, v's word XOR a, the OR of two words, and
// v's word with `lo` or `hi` put in by OR as v's word is (signed) below `than`
// or not. Raise nothing.
inline float word_add(float v, std::uint32_t a) {
#if defined(__x86_64__)
    const float m = std::bit_cast<float>(a);
    asm("paddd %1, %0" : "+x"(v) : "x"(m));
    return v;
#else
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) + a);
#endif
}
inline float word_xor(float v, std::uint32_t a) {
#if defined(__x86_64__)
    const float m = std::bit_cast<float>(a);
    asm("xorps %1, %0" : "+x"(v) : "x"(m));
    return v;
#else
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) ^ a);
#endif
}
inline float word_or(float v, float w) {
#if defined(__x86_64__)
    asm("orps %1, %0" : "+x"(v) : "x"(w));
    return v;
#else
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) | std::bit_cast<std::uint32_t>(w));
#endif
}

inline double word_add(double v, std::uint64_t a) {
#if defined(__x86_64__)
    const double m = std::bit_cast<double>(a);
    asm("paddq %1, %0" : "+x"(v) : "x"(m));
    return v;
#else
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) + a);
#endif
}
inline double word_xor(double v, std::uint64_t a) {
#if defined(__x86_64__)
    const double m = std::bit_cast<double>(a);
    asm("xorpd %1, %0" : "+x"(v) : "x"(m));
    return v;
#else
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) ^ a);
#endif
}
inline double word_or(double v, double w) {
#if defined(__x86_64__)
    asm("orpd %1, %0" : "+x"(v) : "x"(w));
    return v;
#else
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) | std::bit_cast<std::uint64_t>(w));
#endif
}

// All ones where v's word, as a signed integer, is below c; zero otherwise.
inline float word_below(float v, std::uint32_t c) {
#if defined(__x86_64__)
    float r = std::bit_cast<float>(c);
    asm("pcmpgtd %1, %0" : "+x"(r) : "x"(v));
    return r;
#else
    return std::bit_cast<float>(static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(v)) < static_cast<std::int32_t>(c)
                                    ? 0xFFFFFFFFu
                                    : 0u);
#endif
}

// The same for a double's high word, the low word of the result undefined
// (callers mask it away).
inline double high_word_below(double v, std::uint32_t c) {
#if defined(__x86_64__)
    double r = std::bit_cast<double>(static_cast<std::uint64_t>(c) << 32);
    asm("pcmpgtd %1, %0" : "+x"(r) : "x"(v));
    return r;
#else
    return std::bit_cast<double>(
        static_cast<std::int32_t>(std::bit_cast<std::uint64_t>(v) >> 32) < static_cast<std::int32_t>(c) ? ~0ull : 0ull);
#endif
}

// The leading part of a double: its low word cleared.
inline double clear_lo(double v) { return masked(v, 0xFFFFFFFF00000000ull); }

// y with k added to its exponent field (two's complement, carries into the
// sign as the word arithmetic would), also done in the vector registers: the
// shifted k is ready long before y, so only the one-cycle add is on the path.
inline float add_to_exponent(float y, std::int32_t k) {
    const std::uint32_t d = static_cast<std::uint32_t>(k) << 23;
#if defined(__x86_64__)
    float m = std::bit_cast<float>(d);
    asm("paddd %1, %0" : "+x"(y) : "x"(m));
    return y;
#else
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(y) + d);
#endif
}
inline double add_to_exponent(double y, std::int32_t k) {
    // Low word of the addend is zero, so the 64-bit sum has the high word's sum on top.
    const std::uint64_t d = static_cast<std::uint64_t>(static_cast<std::uint32_t>(k) << 20) << 32;
#if defined(__x86_64__)
    double m = std::bit_cast<double>(d);
    asm("paddq %1, %0" : "+x"(y) : "x"(m));
    return y;
#else
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(y) + d);
#endif
}

// Constants are written as bit patterns; these make that readable at the use site.
consteval double dconst(std::uint64_t b) { return std::bit_cast<double>(b); }
consteval float fconst(std::uint32_t b) { return std::bit_cast<float>(b); }

// Hides a value from the optimiser, so that arithmetic on it really executes
// (idioms such as TINY*TINY exist only for the flags they raise).
template <typename T>
inline T opaque(T x) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("" : "+x"(x));
#elif defined(__aarch64__) || defined(__arm__)
    asm volatile("" : "+w"(x));
#else
    volatile T v = x;
    x = v;
#endif
    return x;
}

// Forces a computed value to exist, so an operation kept only for its flags is
// not removed.
template <typename T>
inline void force_eval(T x) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("" : : "x"(x));
#elif defined(__aarch64__) || defined(__arm__)
    asm volatile("" : : "w"(x));
#else
    volatile T v = x;
    (void)v;
#endif
}

// NaN results are x86-64's on every host. Where an operation's operands are
// not NaNs but its result is (inf - inf, 0 * inf), x86 returns its default NaN,
// which has the sign set (0xFFF8000000000000, 0xFFC00000); ARM clears the sign.
// Where both operands are NaNs, x86 returns the first, quieted, while ARM
// prefers a signalling one wherever it is. x86_nan(r, a, b) takes the host's
// result r of an operation on a and b and, off x86, puts x86's NaN in place of
// a NaN r: the first NaN operand quieted, else the default NaN. The operation
// itself has run, so the flags stay the host's own; the test costs a few
// integer instructions off x86 and nothing on it.
inline bool is_nan(double v) { return (bits(v) << 1) > 0xFFE0000000000000ull; }
inline bool is_nan(float v) { return (bits(v) << 1) > 0xFF000000u; }
inline double quieted(double v) { return from_bits(bits(v) | 0x0008000000000000ull); }
inline float quieted(float v) { return from_bits(bits(v) | 0x00400000u); }
template <std::floating_point T>
inline T x86_nan([[maybe_unused]] T r, [[maybe_unused]] T a, [[maybe_unused]] T b) {
#if !defined(__x86_64__)
    if (is_nan(r)) [[unlikely]] {
        if (is_nan(a)) return quieted(a);
        if (is_nan(b)) return quieted(b);
        if constexpr (sizeof(T) == 8) return from_bits(0xFFF8000000000000ull);
        else return from_bits(0xFFC00000u);
    }
#endif
    return r;
}
// Host arithmetic kept for its invalid flag (x - x of an infinity is a NaN
// and invalid, of a NaN the NaN), with x86's NaN as the result.
template <std::floating_point T>
inline T sub_x86(T a, T b) {
    return x86_nan(a - b, a, b);
}
template <std::floating_point T>
inline T add_x86(T a, T b) {
    return x86_nan(a + b, a, b);
}

// a + b and a * b with a as the first operand. When both are NaN x86 returns
// the one in the first position, so the order must not be left to the
// compiler (which may swap the operands of a commutative operation); other
// hosts give the same NaN through x86_nan. The
// statements are volatile: a plain asm counts as a pure computation, which the
// compiler may hoist above the branch guarding it, raising its flags on paths
// that never asked for the operation.
inline double add_ordered(double a, double b) {
#if defined(__x86_64__)
    asm volatile("addsd %1, %0" : "+x"(a) : "x"(b));
    return a;
#elif defined(__aarch64__)
    double r;
    asm volatile("fadd %d0, %d1, %d2" : "=w"(r) : "w"(a), "w"(b));
    return x86_nan(r, a, b);
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
    double r;
    asm volatile("vadd.f64 %P0, %P1, %P2" : "=w"(r) : "w"(a), "w"(b));
    return x86_nan(r, a, b);
#else
    volatile double va = a, vb = b;
    return x86_nan(va + vb, a, b);
#endif
}
inline float add_ordered(float a, float b) {
#if defined(__x86_64__)
    asm volatile("addss %1, %0" : "+x"(a) : "x"(b));
    return a;
#elif defined(__aarch64__)
    float r;
    asm volatile("fadd %s0, %s1, %s2" : "=w"(r) : "w"(a), "w"(b));
    return x86_nan(r, a, b);
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
    float r;
    asm volatile("vadd.f32 %0, %1, %2" : "=t"(r) : "t"(a), "t"(b));
    return x86_nan(r, a, b);
#else
    volatile float va = a, vb = b;
    return x86_nan(va + vb, a, b);
#endif
}
inline double mul_ordered(double a, double b) {
#if defined(__x86_64__)
    asm volatile("mulsd %1, %0" : "+x"(a) : "x"(b));
    return a;
#elif defined(__aarch64__)
    double r;
    asm volatile("fmul %d0, %d1, %d2" : "=w"(r) : "w"(a), "w"(b));
    return x86_nan(r, a, b);
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
    double r;
    asm volatile("vmul.f64 %P0, %P1, %P2" : "=w"(r) : "w"(a), "w"(b));
    return x86_nan(r, a, b);
#else
    volatile double va = a, vb = b;
    return x86_nan(va * vb, a, b);
#endif
}
inline float mul_ordered(float a, float b) {
#if defined(__x86_64__)
    asm volatile("mulss %1, %0" : "+x"(a) : "x"(b));
    return a;
#elif defined(__aarch64__)
    float r;
    asm volatile("fmul %s0, %s1, %s2" : "=w"(r) : "w"(a), "w"(b));
    return x86_nan(r, a, b);
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
    float r;
    asm volatile("vmul.f32 %0, %1, %2" : "=t"(r) : "t"(a), "t"(b));
    return x86_nan(r, a, b);
#else
    volatile float va = a, vb = b;
    return x86_nan(va * vb, a, b);
#endif
}

}  // namespace kalm::lib
#include "host/soft_float.hpp"
