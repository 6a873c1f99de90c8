// SPDX-License-Identifier: MIT
// Vector lines through the batch entries (kalmlib_batch.h): every line's
// result bits from the batch entry of its export, the lines of one export
// gathered into arrays (whole, in place, and cut into short pieces so that
// every tail length of the kernels is met), under a caller environment. The
// batch entries promise to leave the caller's register exactly as it was,
// sticky flags included, and to raise nothing whatever the control word says:
// both are checked around every call (with every exception unmasked and a raise
// handler that counts).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "caller_env.hpp"
#include "vectors.hpp"

namespace kalmtool {

// One call of the batch entry of `fn` over n elements: a and b hold argument
// bits (doubles, or floats in the low 32 bits; b only for two-argument
// exports), `order` is _yn's. In place: y receives a's values first and is
// passed as the first argument array. Returns the entry's code.
int call_batch(const kalm_export* fn, int order, const std::uint64_t* a, const std::uint64_t* b, std::uint64_t* y,
               std::size_t n, bool in_place);

struct BatchTally {
    long lines = 0;     // vector lines checked
    long calls = 0;     // batch calls made
    long failures = 0;  // lines or calls that went wrong
    std::vector<std::string> messages;  // the first few failures
    void fail(const std::string& m) {
        ++failures;
        if (messages.size() < 20) messages.push_back(m);
    }
};

// Reads the lines with an expectation from a vector file (`where`: "file:line"
// of each). False with `error` set when the file cannot be read or a line is
// malformed.
bool read_vector_lines(const std::string& path, std::vector<Vector>& lines, std::vector<std::string>& where,
                       std::string& error);

// Checks the lines through the batch entries under `env`, on the instruction
// set currently selected (kalm_batch_set_isa).
void check_batch_lines(const std::vector<Vector>& lines, const std::vector<std::string>& where, const CallerEnv& env,
                       BatchTally& tally);

}  // namespace kalmtool
