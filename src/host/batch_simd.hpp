// SPDX-License-Identifier: MIT
// The batch kernels' SIMD layer: which instruction sets this build compiles
// kernels for, and the macros a kernel file uses. A family writes its lane
// body once (a .inc file of functions over the vector types of
// host/batch_simd.inc) and its kernel file
//   defines KALM_BATCH_BODY as that file and includes host/batch_isas.inc
//     inside an anonymous namespace: the body compiled once per set, each in a
//     namespace named after the set (avx512, avx2, neon), every function in it
//     carrying that set's target;
//   defines the kernels NAME_ISA of its rows in abi/batch_kernels.hpp with
//     KALM_BATCH_DEFINE(name, sig, lanes): the loop of host/batch_simd.inc over
//     the body's function `lanes`, the rare lanes handed to exported::name.
// The same source makes the AVX-512 and AVX2 kernels on x86-64 and the NEON
// ones on AArch64, where 16-byte generic vectors are NEON's registers and need
// no target attribute (NEON is part of the base instruction set there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

// The software flags' arithmetic is scalar: no kernels there.
#if defined(KALM_SOFT_FLAGS)
#define KALM_BATCH_SIMD 0
#define KALM_BATCH_FOR_EACH_ISA(X, ...)
#elif (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define KALM_BATCH_SIMD 1
#include <immintrin.h>
#define KALM_BATCH_TARGET_avx512 __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))
#define KALM_BATCH_TARGET_avx2 __attribute__((target("avx2,fma")))
// X(args..., isa) for each set of the build, the widest first.
#define KALM_BATCH_FOR_EACH_ISA(X, ...) X(__VA_ARGS__, avx512) X(__VA_ARGS__, avx2)
#elif (defined(__GNUC__) || defined(__clang__)) && defined(__aarch64__)
#define KALM_BATCH_SIMD 1
#include <arm_neon.h>
#define KALM_BATCH_TARGET_neon
#define KALM_BATCH_FOR_EACH_ISA(X, ...) X(__VA_ARGS__, neon)
#else
#define KALM_BATCH_SIMD 0
#define KALM_BATCH_FOR_EACH_ISA(X, ...)
#endif

#if KALM_BATCH_SIMD

// A region in which every function defined gets a target attribute (GCC's
// pragma, Clang's attribute push): what the lane bodies are compiled in, so
// that a function written without KALM_BATCH_FN is not silently compiled for
// the base set. (Inlining a generic body without the attribute into a target
// function is not enough: GCC lowers its vector operations for the base set
// before inlining.)
#define KALM_ISA_PRAGMA_(x) _Pragma(#x)
#if defined(__clang__)
#define KALM_ISA_BEGIN(isa) KALM_ISA_PRAGMA_(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define KALM_ISA_END _Pragma("clang attribute pop")
#else
#define KALM_ISA_BEGIN(isa) _Pragma("GCC push_options") KALM_ISA_PRAGMA_(GCC target(isa))
#define KALM_ISA_END _Pragma("GCC pop_options")
#endif

// A function of a lane body or of the layer: inlined into the kernel, compiled
// for the set being instantiated (KALM_BATCH_TARGET, defined by batch_isas.inc
// around each instantiation). KALM_LANES is the same for member functions.
#define KALM_BATCH_FN [[gnu::always_inline]] KALM_BATCH_TARGET static inline
#define KALM_LANES [[gnu::always_inline]] KALM_BATCH_TARGET inline

// The kernel name##_##isa for each set of the build: the loop of the layer over
// the lane function `lanes` of the body (a name in the set's namespace, e.g.
// trigd::sin_lanes or by_functor<VF, ExpfLanes>), each lane the body leaves to
// the scalar export computed by exported::name. The file that uses it includes
// abi/batch_kernels.hpp (the parameters) and abi/exports.hpp.
#define KALM_BATCH_DEFINE(name, sig, ...) KALM_BATCH_FOR_EACH_ISA(KALM_BATCH_KERNEL_, name, sig, (__VA_ARGS__))
#define KALM_BATCH_STRIP_(...) __VA_ARGS__
#define KALM_BATCH_KERNEL_(name, sig, lanes, isa)                          \
    KALM_BATCH_TARGET_##isa void name##_##isa(KALM_BATCH_PARAMS_##sig) { \
        using namespace isa;                                               \
        KALM_BATCH_RUN_##sig(exported::name, KALM_BATCH_STRIP_ lanes);     \
    }
// A one-argument kernel over a body in stages (run_staged): `body` a type in
// the set's namespace in parentheses, T the element type, V its register.
#define KALM_BATCH_DEFINE_STAGED(name, T, V, body) KALM_BATCH_FOR_EACH_ISA(KALM_BATCH_STAGED_, name, T, V, body)
#define KALM_BATCH_STAGED_(name, T, V, body, isa)                                 \
    KALM_BATCH_TARGET_##isa void name##_##isa(const T* x, T* y, std::size_t n) { \
        using namespace isa;                                                    \
        using Body = KALM_BATCH_STRIP_ body;                                    \
        run_staged<V, T, Body, exported::name>(x, y, n, Body{});                \
    }
#define KALM_BATCH_RUN_D_D(scalar, ...) run_unary<VD, double, __VA_ARGS__, scalar>(x, y, n)
#define KALM_BATCH_RUN_F_F(scalar, ...) run_unary<VF, float, __VA_ARGS__, scalar>(x, y, n)
#define KALM_BATCH_RUN_DD_D(scalar, ...) run_binary<VD, double, __VA_ARGS__, scalar>(x, b, y, n)
#define KALM_BATCH_RUN_FF_F(scalar, ...) run_binary<VF, float, __VA_ARGS__, scalar>(x, b, y, n)

#endif
