// SPDX-License-Identifier: MIT
// The batch entries kalm_batch_<stem>: one export over an array. A call sets
// the device's environment once, masks every exception in the thread's control
// word for its length, runs the best kernel the CPU and the selected
// instruction set allow (abi/batch_kernels.hpp) or the scalar routine element
// by element, and gives the caller its register, control word and call record
// back exactly as they were: results only, no flags, no raise.
//
// The scalar loop calls the routines' inner entries, as the guest calls do on
// x86-64: the environment is already the device's, so the export entry's
// reading of the register (about 5 ns on x86-64) is not paid per element. The
// inner entries compute exactly what the export entries do once the
// environment is in place; with every exception masked their flags only
// decide nothing, and the register is put back whole at the end.
#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "frame/guest.hpp"
#include "host/cpu_features.hpp"
#include "kalmlib/kalmlib.h"
#include "kalmlib/kalmlib_batch.h"
#include "kalmlib/kalmlib_batch.hpp"

namespace kalm::lib::batch {
namespace {

// ---- The public declarations against the export list ------------------------

using Type_D_D = int (*)(const double*, double*, std::size_t);
using Type_F_F = int (*)(const float*, float*, std::size_t);
using Type_DD_D = int (*)(const double*, const double*, double*, std::size_t);
using Type_FF_F = int (*)(const float*, const float*, float*, std::size_t);
using Type_ID_D = int (*)(int, const double*, double*, std::size_t);
using Span_D_D = int (*)(std::span<const double>, std::span<double>);
using Span_F_F = int (*)(std::span<const float>, std::span<float>);
using Span_DD_D = int (*)(std::span<const double>, std::span<const double>, std::span<double>);
using Span_FF_F = int (*)(std::span<const float>, std::span<const float>, std::span<float>);
using Span_ID_D = int (*)(int, std::span<const double>, std::span<double>);
#define KALM_BATCH_CHECK(name, stem, sig, kind)                                                        \
    static_assert(std::is_same_v<decltype(&::kalm_batch_##stem), Type_##sig>,               \
                  "kalmlib_batch.h declares kalm_batch_" #stem " as the export list does");            \
    [[maybe_unused]] constexpr Span_##sig span_##stem = &kalm::batch::stem;
KALM_EXPORT_LIST(KALM_BATCH_CHECK)
#undef KALM_BATCH_CHECK

// ---- The kernels of the list ------------------------------------------------

// A kernel's export by its name; _yn_orders (an order per element, the kernel
// of kalm_batch_yn_orders) has none and is kYnOrders. Unused in builds without kernels.
constexpr unsigned kYnOrders = 0;
[[maybe_unused]] constexpr unsigned kernel_ordinal(std::string_view name) {
    for (std::size_t i = 0; i < kalm::exports::count; ++i)
        if (kalm::exports::names[i] == name) return static_cast<unsigned>(i + 1);
    return name == "_yn_orders" ? kYnOrders : ~0u;
}

template <unsigned O, Isa I>
struct KernelOf {
    static constexpr std::nullptr_t fn = nullptr;
};
#define KALM_BATCH_ROW(name, sig, isa)                                                      \
    static_assert(kernel_ordinal(#name) != ~0u, "a kernel is an export's or _yn_orders");   \
    template <>                                                                             \
    struct KernelOf<kernel_ordinal(#name), Isa::isa> {                                      \
        static constexpr auto fn = &name##_##isa;                                           \
    };
KALM_BATCH_KERNEL_LIST(KALM_BATCH_ROW)
#undef KALM_BATCH_ROW

template <unsigned O, Isa I>
inline constexpr bool has_kernel = !std::is_null_pointer_v<std::remove_cv_t<decltype(KernelOf<O, I>::fn)>>;

// MinGW-w64's GCC does not align the stack for 32- and 64-byte vectors that a
// function spills (Windows x64 promises 16), and spills them with aligned
// moves: its kernels would fault. Its builds run the scalar loops only, as do
// builds without kernels (host/batch_simd.hpp: other than x86-64 and AArch64).
#if KALM_BATCH_SIMD && !(defined(_WIN32) && !defined(__clang__))
constexpr bool kKernelsUsable = true;
#else
constexpr bool kKernelsUsable = false;
#endif

// The kernel of export O for the instruction set `isa`, or nullptr for the
// scalar loop. AVX-512 takes an AVX2 kernel where it has none of its own.
template <unsigned O, typename K>
K pick(int isa) {
    K k = nullptr;
    if constexpr (kKernelsUsable && has_kernel<O, Isa::avx2>) {
        if (isa == KALM_BATCH_AVX2 || isa == KALM_BATCH_AVX512) k = KernelOf<O, Isa::avx2>::fn;
    }
    if constexpr (kKernelsUsable && has_kernel<O, Isa::avx512>) {
        if (isa == KALM_BATCH_AVX512) k = KernelOf<O, Isa::avx512>::fn;
    }
    if constexpr (kKernelsUsable && has_kernel<O, Isa::neon>) {
        if (isa == KALM_BATCH_NEON) k = KernelOf<O, Isa::neon>::fn;
    }
    return k;
}

// ---- The instruction set ----------------------------------------------------

static_assert(static_cast<int>(Isa::avx2) == KALM_BATCH_AVX2 && static_cast<int>(Isa::avx512) == KALM_BATCH_AVX512 &&
              static_cast<int>(Isa::neon) == KALM_BATCH_NEON);

// Whether this CPU and this build run the kernels of `isa`.
bool runs(int isa) {
    if (isa == KALM_BATCH_SCALAR) return true;
    if (!kKernelsUsable) return false;
#if defined(__x86_64__)
    if (isa == KALM_BATCH_AVX512) return cpu_has(CPU_AVX512);
    if (isa == KALM_BATCH_AVX2) return cpu_has(CPU_AVX2);
#elif defined(__aarch64__)
    if (isa == KALM_BATCH_NEON) return cpu_has(CPU_NEON);
#endif
    return false;
}

int best_isa() {
    for (int isa : {KALM_BATCH_AVX512, KALM_BATCH_AVX2, KALM_BATCH_NEON})
        if (runs(isa)) return isa;
    return KALM_BATCH_SCALAR;
}

std::atomic<int> g_isa{-1};  // -1 until the first use

int current_isa() {
    int i = g_isa.load(std::memory_order_relaxed);
    if (i < 0) [[unlikely]] {
        // Racing first uses all store the same value.
        i = best_isa();
        g_isa.store(i, std::memory_order_relaxed);
    }
    return i;
}

// ---- The call ---------------------------------------------------------------

// The caller's register set aside, the device's environment installed, the
// thread's control word all masked and its call record that of this export,
// all given back by the destructor. Nothing inside can raise (every exception
// is masked, so the raise service is never reached) or throw (the routines
// allocate nothing), so the destructor runs on the one way out; it is a
// destructor all the same, so that the caller's state would come back on any
// way out.
class BatchCall {
public:
    explicit BatchCall(std::uint32_t ordinal)
        : control_(tls_control_word), call_(tls_call), internal_(tls_internal_call) {
#if defined(KALM_PORTABLE_FENV)
        std::fegetenv(&env_);
        std::fesetenv(FE_DFL_ENV);
#if defined(KALM_SOFT_FLAGS)
        soft_status_ = host_status_raw();
#endif
        constexpr std::uint32_t device = 0;
#elif defined(__x86_64__)
        reg_ = host_status_raw();
        // A constant, so that the write does not wait for the read.
        host_status_write_const<DEVICE_CONTROL>();
        constexpr std::uint32_t device = DEVICE_CONTROL;
#elif defined(__aarch64__)
        control_reg_ = host_control_raw();
        reg_ = host_status_raw();
        if (control_reg_ != 0) host_control_write(0);
        constexpr std::uint32_t device = 0;
#else
        reg_ = host_status_raw();
        if (reg_ & ENV_CONTROL_BITS) host_status_write(reg_ & ~ENV_CONTROL_BITS);
        constexpr std::uint32_t device = 0;
#endif
        tls_control_word = control_ | FP_ALL_MASKED;
        // The record an export entry would make for a caller in the device's
        // environment: the inner entries' clearings are constant writes.
        tls_call = (static_cast<std::uint64_t>(ordinal) << 32) | device;
        // No arithmetic of the call is moved above the switch...
        asm volatile("" ::: "memory");
    }
    ~BatchCall() {
        // ...nor, its results being in memory by now, below the switch back.
        asm volatile("" ::: "memory");
#if defined(KALM_PORTABLE_FENV)
        std::fesetenv(&env_);
#if defined(KALM_SOFT_FLAGS)
        host_status_write(soft_status_);
#endif
#elif defined(__x86_64__)
        host_status_write(reg_);
#elif defined(__aarch64__)
        host_status_write(reg_);
        if (control_reg_ != 0) host_control_write(control_reg_);
#else
        host_status_write(reg_);
#endif
        tls_control_word = control_;
        tls_call = call_;
        tls_internal_call = internal_;
    }
    BatchCall(const BatchCall&) = delete;
    BatchCall& operator=(const BatchCall&) = delete;

private:
#if defined(KALM_PORTABLE_FENV)
    std::fenv_t env_;
#if defined(KALM_SOFT_FLAGS)
    std::uint32_t soft_status_;
#endif
#else
    std::uint32_t reg_;
#if defined(__aarch64__)
    std::uint32_t control_reg_;
#endif
#endif
    std::uint32_t control_;
    std::uint64_t call_;
    std::uint8_t internal_;
};

// True when `out` shares bytes with `in` without being the same array, or
// either array would run past the end of the address space.
template <typename In, typename Out>
bool overlaps(const In* in, const Out* out, std::size_t n) {
    const auto a = reinterpret_cast<std::uintptr_t>(in), b = reinterpret_cast<std::uintptr_t>(out);
    const std::uintptr_t top = UINTPTR_MAX;
    if (n > (top - a) / sizeof(In) || n > (top - b) / sizeof(Out)) return true;
    if (static_cast<const void*>(in) == static_cast<const void*>(out) && sizeof(In) == sizeof(Out)) return false;
    return a < b + n * sizeof(Out) && b < a + n * sizeof(In);
}

template <unsigned O, typename T, typename Scalar>
int run1(const T* x, T* y, std::size_t n, Scalar scalar) {
    if (n == 0) return KALM_OK;
    if (x == nullptr || y == nullptr) return KALM_ERR_NULL;
    if (overlaps(x, y, n)) return KALM_ERR_OVERLAP;
    using K = void (*)(const T*, T*, std::size_t);
    const K k = pick<O, K>(current_isa());
    const BatchCall call(O);
    if (k != nullptr) {
        k(x, y, n);
    } else {
        for (std::size_t i = 0; i < n; ++i) y[i] = lib::to_hw(scalar(x[i]));
    }
    return KALM_OK;
}

// _yn with one order for the array.
template <unsigned O, typename Scalar>
int run1n(int order, const double* x, double* y, std::size_t n, Scalar scalar) {
    if (n == 0) return KALM_OK;
    if (x == nullptr || y == nullptr) return KALM_ERR_NULL;
    if (overlaps(x, y, n)) return KALM_ERR_OVERLAP;
    using K = void (*)(int, const double*, double*, std::size_t);
    const K k = pick<O, K>(current_isa());
    const BatchCall call(O);
    if (k != nullptr) {
        k(order, x, y, n);
    } else {
        for (std::size_t i = 0; i < n; ++i) y[i] = lib::to_hw(scalar(x[i]));
    }
    return KALM_OK;
}

template <unsigned O, typename T, typename Scalar>
int run2(const T* a, const T* b, T* y, std::size_t n, Scalar scalar) {
    if (n == 0) return KALM_OK;
    if (a == nullptr || b == nullptr || y == nullptr) return KALM_ERR_NULL;
    if (overlaps(a, y, n) || overlaps(b, y, n)) return KALM_ERR_OVERLAP;
    using K = void (*)(const T*, const T*, T*, std::size_t);
    const K k = pick<O, K>(current_isa());
    const BatchCall call(O);
    if (k != nullptr) {
        k(a, b, y, n);
    } else {
        for (std::size_t i = 0; i < n; ++i) y[i] = lib::to_hw(scalar(a[i], b[i]));
    }
    return KALM_OK;
}

}  // namespace
}  // namespace kalm::lib::batch

using namespace kalm::lib::batch;
namespace lib = kalm::lib;

extern "C" {

KALM_API int kalm_batch_isa(void) { return current_isa(); }

KALM_API int kalm_batch_set_isa(int isa) {
    if (!runs(isa)) return KALM_ERR_UNSUPPORTED;
    g_isa.store(isa, std::memory_order_relaxed);
    return KALM_OK;
}

#define KALM_BATCH_ENTRY_D_D(name, stem)                                                     \
    KALM_API int kalm_batch_##stem(const double* x, double* y, size_t n) {                   \
        return run1<lib::ord::stem>(x, y, n, [](double a) { return lib::name(a, lib::report_t{0}); }); \
    }
#define KALM_BATCH_ENTRY_F_F(name, stem)                                                     \
    KALM_API int kalm_batch_##stem(const float* x, float* y, size_t n) {                     \
        return run1<lib::ord::stem>(x, y, n, [](float a) { return lib::name(a, lib::report_t{0}); }); \
    }
#define KALM_BATCH_ENTRY_DD_D(name, stem)                                                            \
    KALM_API int kalm_batch_##stem(const double* a, const double* b, double* y, size_t n) {          \
        return run2<lib::ord::stem>(a, b, y, n,                                                      \
                                    [](double u, double v) { return lib::name(u, v, lib::report_t{0}); }); \
    }
#define KALM_BATCH_ENTRY_FF_F(name, stem)                                                         \
    KALM_API int kalm_batch_##stem(const float* a, const float* b, float* y, size_t n) {          \
        return run2<lib::ord::stem>(a, b, y, n,                                                   \
                                    [](float u, float v) { return lib::name(u, v, lib::report_t{0}); }); \
    }
// One order for the whole array.
#define KALM_BATCH_ENTRY_ID_D(name, stem)                                                                \
    KALM_API int kalm_batch_##stem(int order, const double* x, double* y, size_t n) {                    \
        return run1n<lib::ord::stem>(order, x, y, n,                                                     \
                                     [order](double a) { return lib::name(order, a, lib::report_t{0}); }); \
    }
#define KALM_BATCH_ENTRY(name, stem, sig, kind) KALM_BATCH_ENTRY_##sig(name, stem)
KALM_EXPORT_LIST(KALM_BATCH_ENTRY)
#undef KALM_BATCH_ENTRY

// An order per element. The orders are read as the elements are computed, so
// y may not share a byte with them (x it may replace).
KALM_API int kalm_batch_yn_orders(const int* order, const double* x, double* y, size_t n) {
    if (n == 0) return KALM_OK;
    if (order == nullptr || x == nullptr || y == nullptr) return KALM_ERR_NULL;
    if (overlaps(x, y, n) || overlaps(order, y, n)) return KALM_ERR_OVERLAP;
    using K = void (*)(const int*, const double*, double*, std::size_t);
    const K k = pick<kYnOrders, K>(current_isa());
    const BatchCall call(lib::ord::yn);
    if (k != nullptr) {
        k(order, x, y, n);
    } else {
        for (std::size_t i = 0; i < n; ++i) y[i] = lib::to_hw(lib::_yn(order[i], x[i], lib::report_t{0}));
    }
    return KALM_OK;
}

}  // extern "C"
