// Test vectors: one call of an export per line, with its expected result
// bits, sticky flags and first raised exception.
//   NAME ARG... [-> RESULT FLAGS RAISE]
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "kalmlib/kalmlib.h"

namespace kalmtool {

struct Outcome {
    std::uint64_t result = 0;  // result bits (float results in the low 32 bits)
    unsigned flags = 0;        // sticky bits 0x01 invalid, 0x04 overflow, 0x08 underflow, 0x10 inexact
    std::string raise = "-";   // "-" or "C000008F@app" / "...@lib"
    bool operator==(const Outcome&) const = default;
};

struct Vector {
    const kalm_export* fn = nullptr;
    std::vector<std::uint32_t> words;  // argument words, device order
    std::string input;                 // the normalised input part of the line
    std::optional<Outcome> expected;
};

// Parses one line. Returns false with `error` set for a malformed line; a
// blank or comment-only line returns true with fn == nullptr.
bool parse_vector(const std::string& line, Vector& v, std::string& error);

// Calls the export twice: all exceptions masked (result and flags), then all
// unmasked (first raise). Report address: the tool's own call.
Outcome run_vector(const Vector& v);

std::string format_outcome(const Vector& v, const Outcome& o);

struct Tally {
    long passed = 0, failed = 0, generated = 0;
};

// Checks or generates every line of a stream; mismatches and errors go to
// `out` with the source name and line number.
void process_stream(std::istream& in, const std::string& source, std::ostream& out, Tally& tally,
                    bool quiet_generate = false);

// Host-tolerant checking (opt-in) accepts one difference between hosts and
// nothing else: underflow detected before rounding (ARM) or after it (x86),
// for results that round up to the smallest normal magnitude, where the
// underflow flag, and with it underflow versus inexact as the first raise,
// may differ. Every line it accepts is named in the output. No vector line
// needs it today: the cross test runs without it.
void set_host_tolerant(bool on);
long tolerated_count();
bool tolerable_difference(const Vector& v, const Outcome& expected, const Outcome& got);

// Parses "1.5", "-0", "inf", "nan", "0x3ff0000000000000" (bits) into a value
// of the export's argument type; words appended to `words`.
bool parse_value(const std::string& text, bool is_float, std::vector<std::uint32_t>& words, std::string& error);
bool parse_int(const std::string& text, std::int32_t& v);

// The report address the tool hands to every call, and the classification of
// a raised address relative to it.
std::uintptr_t app_report_address();
std::string classify_address(std::uintptr_t addr);

}  // namespace kalmtool
