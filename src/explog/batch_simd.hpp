// SPDX-License-Identifier: MIT
// What the exp/log/pow batch kernels share: the instruction-set regions the
// lane code is compiled in, and the headers it needs (included before any
// region, so that nothing they define is compiled for a wider set).
//
// The lane code (explog/batch_lanes.inc) is written once with the compiler's
// generic vector types and names no instruction set. A kernel file includes it
// twice, each time inside a region that gives every function defined there the
// target attribute of one set (AVX-512, AVX2) and inside a namespace of that
// set's own: the compiler lowers the same source for each set, and no function
// outside a region uses anything but the base instruction set. (A generic body
// without the attribute, inlined into a target function, is not enough: GCC
// lowers its vector comparisons for the base set before inlining.)
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "host/bits.hpp"

#define KALM_ISA_AVX512 "avx512f,avx512dq,avx512bw,avx512vl"
#define KALM_ISA_AVX2 "avx2,fma"

#if defined(__clang__)
#define KALM_ISA_PRAGMA_(x) _Pragma(#x)
#define KALM_ISA_BEGIN(isa) KALM_ISA_PRAGMA_(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define KALM_ISA_END _Pragma("clang attribute pop")
#else
#define KALM_ISA_PRAGMA_(x) _Pragma(#x)
#define KALM_ISA_BEGIN(isa) _Pragma("GCC push_options") KALM_ISA_PRAGMA_(GCC target(isa))
#define KALM_ISA_END _Pragma("GCC pop_options")
#endif

// Inside a region: lane functions are always inlined into the kernel.
#define KALM_LANES [[gnu::always_inline]] inline

#endif
