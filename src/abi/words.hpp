// SPDX-License-Identifier: MIT
// The device's argument and result words: a double travels as two 32-bit
// words, low word first, with no even-word alignment (f(int, double) takes n
// in word 0 and the double in words 1-2); a float or an int is one word.
// Shared by the export table and every tool that builds or reads calls.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace kalm::words {

constexpr double double_at(const std::uint32_t* w) {
    return std::bit_cast<double>((static_cast<std::uint64_t>(w[1]) << 32) | w[0]);
}
constexpr float float_at(const std::uint32_t* w) { return std::bit_cast<float>(w[0]); }
constexpr int int_at(const std::uint32_t* w) { return std::bit_cast<std::int32_t>(w[0]); }

// Appends the words of one value; returns the next free word.
constexpr std::uint32_t* put(std::uint32_t* w, double v) {
    const auto b = std::bit_cast<std::uint64_t>(v);
    w[0] = static_cast<std::uint32_t>(b);
    w[1] = static_cast<std::uint32_t>(b >> 32);
    return w + 2;
}
constexpr std::uint32_t* put(std::uint32_t* w, float v) {
    w[0] = std::bit_cast<std::uint32_t>(v);
    return w + 1;
}
constexpr std::uint32_t* put(std::uint32_t* w, int v) {
    w[0] = std::bit_cast<std::uint32_t>(static_cast<std::int32_t>(v));
    return w + 1;
}

// A result's bit pattern from its one or two words (a float's in the low 32 bits).
constexpr std::uint64_t result_bits(const std::uint32_t* w, std::size_t result_words) {
    return result_words == 2 ? (static_cast<std::uint64_t>(w[1]) << 32) | w[0] : w[0];
}

}  // namespace kalm::words
