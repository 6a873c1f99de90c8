// SPDX-License-Identifier: MIT
// Batch results against the scalar export, bit for bit: a kernel (or a batch
// entry) run over an array of arguments and each element compared with what
// the scalar export returns for it. Used by the unit tests on sampled and
// special arguments, by the opt-in exhaustive runs over every float and by
// `kalm batch-check`.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <type_traits>
#include <vector>

namespace kalm::test {

struct BatchMismatch {
    std::uint64_t a = 0, b = 0;  // argument words (b: second argument, if any)
    std::uint64_t got = 0, want = 0;
};

struct BatchReport {
    std::size_t compared = 0, mismatches = 0;
    std::vector<BatchMismatch> first;  // up to 8, for the message
    void add(std::uint64_t a, std::uint64_t b, std::uint64_t got, std::uint64_t want) {
        ++mismatches;
        if (first.size() < 8) first.push_back({a, b, got, want});
    }
    void print(const char* what) const {
        std::fprintf(stderr, "%s: %zu compared, %zu differ\n", what, compared, mismatches);
        for (const auto& m : first)
            std::fprintf(stderr, "  x=%#llx b=%#llx batch %#llx scalar %#llx\n", static_cast<unsigned long long>(m.a),
                         static_cast<unsigned long long>(m.b), static_cast<unsigned long long>(m.got),
                         static_cast<unsigned long long>(m.want));
    }
};

template <typename T>
using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;

// One-argument form: batch(x, y, n) against scalar(x[i]), compared as bits.
template <typename T>
void compare_batch(BatchReport& rep, const std::function<void(const T*, T*, std::size_t)>& batch,
                   const std::function<T(T)>& scalar, const T* x, std::size_t n) {
    std::vector<T> y(n);
    batch(x, y.data(), n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto got = std::bit_cast<Bits<T>>(y[i]), want = std::bit_cast<Bits<T>>(scalar(x[i]));
        if (got != want) rep.add(std::bit_cast<Bits<T>>(x[i]), 0, got, want);
    }
    rep.compared += n;
}

// Two-argument form.
template <typename T>
void compare_batch2(BatchReport& rep, const std::function<void(const T*, const T*, T*, std::size_t)>& batch,
                    const std::function<T(T, T)>& scalar, const T* a, const T* b, std::size_t n) {
    std::vector<T> y(n);
    batch(a, b, y.data(), n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto got = std::bit_cast<Bits<T>>(y[i]), want = std::bit_cast<Bits<T>>(scalar(a[i], b[i]));
        if (got != want) rep.add(std::bit_cast<Bits<T>>(a[i]), std::bit_cast<Bits<T>>(b[i]), got, want);
    }
    rep.compared += n;
}

// Every float, in chunks whose lengths are not multiples of any vector width
// (so that every tail length is met), one chunk per call of `batch`.
inline void compare_every_float(BatchReport& rep, const std::function<void(const float*, float*, std::size_t)>& batch,
                                const std::function<float(float)>& scalar) {
    constexpr std::size_t CHUNK = 65521;  // prime
    std::vector<float> x(CHUNK);
    std::uint64_t w = 0;
    while (w <= 0xFFFFFFFFull) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(CHUNK, 0x100000000ull - w));
        for (std::size_t i = 0; i < n; ++i) x[i] = std::bit_cast<float>(static_cast<std::uint32_t>(w + i));
        compare_batch<float>(rep, batch, scalar, x.data(), n);
        w += n;
    }
}

}  // namespace kalm::test
