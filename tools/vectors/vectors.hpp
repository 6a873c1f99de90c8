// SPDX-License-Identifier: MIT
// Test vectors: one call of an export per line, with its expected result
// bits, sticky flags and first raised exception.
//   NAME ARG... [-> RESULT FLAGS RAISE]
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "caller_env.hpp"
#include "options.hpp"
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

// Calls the export twice under the selected caller environment (set_caller_env):
// all exceptions masked (result and flags), then all unmasked (first raise).
// Report address: the tool's own call. `trouble`, when given, receives what
// went wrong beyond the outcome ("" if nothing): what either call changed in
// the host register beyond the sticky flags, or a raise with everything masked.
Outcome run_vector(const Vector& v, std::string* trouble = nullptr);

// The outcome a line must give under `env`: the file's, except that the 14
// single functions that leave their flags to the caller may keep flags the
// caller had set, all of them or none (an inner framed routine, such as the
// fabsf or floorf of a reduction, clears them on its way in).
Outcome expected_in_env(const Vector& v, const Outcome& file, const Outcome& got, const CallerEnv& env);

std::string format_outcome(const Vector& v, const Outcome& o);

struct Tally {
    long passed = 0, failed = 0, generated = 0;
    long malformed = 0;   // lines that do not follow the grammar; files with no vector line
    long unreadable = 0;  // read errors
    void add(const Tally& o) {
        passed += o.passed;
        failed += o.failed;
        generated += o.generated;
        malformed += o.malformed;
        unreadable += o.unreadable;
    }
};

// The grammar of a line, checked whole (docs/vector-format.md):
//   line    = [vector] [comment]        blanks: spaces and tabs; no other control byte
//   vector  = NAME ARG... ["->" RESULT FLAGS RAISE]
//   ARG     = 0x + 16 hex digits (double), 8 (float), or _yn's n: -?[1-9][0-9]* | 0
//   FLAGS   = two hex digits, bits of 1D only;  RAISE = "-" | CODE "@app" | CODE "@lib"
// A line is at most kMaxLineBytes bytes; a longer one is malformed, and is
// skipped without being held in memory.
inline constexpr std::size_t kMaxLineBytes = 4096;
enum class LineRead { Line, TooLong, End, Error };
LineRead read_line(std::istream& in, std::string& line, std::size_t max = kMaxLineBytes);

// What became of one line, for the text, JSON and CSV outputs.
struct LineEvent {
    enum class Kind { Pass, Mismatch, Malformed, Generated, Tolerated } kind = Kind::Pass;
    std::string source;
    long line = 0;
    std::string env;       // "" for the default environment
    std::string input;     // the normalised input part
    std::string expected;  // "RESULT FLAGS RAISE" the line wants (checked lines)
    std::string got;       // "RESULT FLAGS RAISE" (a generated line: the whole line)
    std::string message;   // why a line is malformed, or what else went wrong
};
class LineSink {
public:
    virtual ~LineSink() = default;
    virtual void line(const LineEvent& e) = 0;
    // After every file under one environment; `several`: more than one environment.
    virtual void env_done(const std::string& env, const Tally& t, bool several) = 0;
};
// The runner's text: failures and malformed lines with source:line, and the
// outcome lines of generated input (unless quiet).
class TextSink : public LineSink {
public:
    explicit TextSink(std::ostream& out, bool quiet_generate = false) : out_(out), quiet_(quiet_generate) {}
    void line(const LineEvent& e) override;
    void env_done(const std::string& env, const Tally& t, bool several) override;

private:
    std::ostream& out_;
    bool quiet_;
};

// Checks every line of a stream. Lines without an expectation are an error
// unless `generate` is set; then their outcome is reported as generated.
void process_stream(std::istream& in, const std::string& source, LineSink& sink, Tally& tally, bool generate);
void process_stream(std::istream& in, const std::string& source, std::ostream& out, Tally& tally,
                    bool quiet_generate = false, bool generate = false);

// The runner's options, the same for kalm_check and `kalm vectors`:
//   --caller-env NAME[,NAME...]   run every line under each of these caller
//                                 environments in turn ("each": all of this host's)
//   --generate                    bare input lines print their outcome instead of failing
//   --scope, --scope-check        every file inside a device-environment scope
//                                 (kalm_enter_device_env), under the selected
//                                 environments that keep the device's; -check
//                                 in the scope's checking mode
struct RunnerOptions {
    std::vector<const CallerEnv*> envs;  // empty: the default environment only
    bool generate = false;
    bool scope = false;
    bool scope_check = false;
};
void add_runner_options(Options& options, RunnerOptions& opts);
// The scope's checking mode for the threads that enter their first scope after this.
void set_scope_checking();
// A device-environment scope entered under `env` for its lifetime (if `enter`).
class InScope {
public:
    InScope(bool enter, const CallerEnv& env);
    ~InScope();
    InScope(const InScope&) = delete;
    InScope& operator=(const InScope&) = delete;

private:
    bool entered_;
};

// Checks (or generates) every file, "-" for standard input, under each
// selected caller environment. Returns 0, or 3 with `error` set when a file
// cannot be read (missing, a directory, a read error).
int run_vector_files(const std::vector<std::string>& files, const RunnerOptions& opts, LineSink& sink, Tally& tally,
                     std::string& error);
// The runner's exit status: 3 unreadable input, 2 malformed input, 1 a line
// that does not match, 0 otherwise.
int exit_status(const Tally& t);

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
// Appends the device's words of one argument (src/abi/words.hpp).
void append_words(std::vector<std::uint32_t>& words, double v);
void append_words(std::vector<std::uint32_t>& words, float v);
void append_words(std::vector<std::uint32_t>& words, int v);

// The report address the tool hands to every call, and the classification of
// a raised address relative to it.
std::uintptr_t app_report_address();
std::string classify_address(std::uintptr_t addr);

}  // namespace kalmtool
