// SPDX-License-Identifier: MIT
// The kalm commands (one source each, cmd_*.cpp; the table in kalm.cpp) and
// what they share: the catalogue of exports (the library's C entry, the host
// libm's counterpart, the MPFR reference and the input ranges of each), the
// accuracy and speed engines, and small command-line helpers.
#pragma once

#include <mpfr.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kalmlib/kalmlib.h"
#include "options.hpp"

namespace kalmtool {

// ---- Commands -------------------------------------------------------------

// A command gets the arguments after its name. Status 0 on success, 2 for a
// bad command line (one line on stderr), otherwise as its help says.
using CommandFn = int (*)(int argc, char** argv);
struct Command {
    const char* name;
    const char* operands;  // as the usage shows them
    const char* help;      // one line
    CommandFn run;
};
// The table kalm dispatches on and makes its usage from; ends with a null name.
extern const Command kCommands[];

int cmd_eval(int argc, char** argv);
int cmd_exports(int argc, char** argv);
int cmd_vectors(int argc, char** argv);
int cmd_accuracy(int argc, char** argv);
int cmd_bench(int argc, char** argv);
int cmd_report(int argc, char** argv);
int cmd_plot(int argc, char** argv);
int cmd_batch_check(int argc, char** argv);
int cmd_help(int argc, char** argv);

// The option parser of a command from its table entry ("kalm NAME", its
// operands and help line).
Options command_options(const char* name);
// Runs the parser: false when the command is to return `status` at once
// (0 after printing the usage for --help, 2 after a one-line error).
bool parse_command_line(Options& options, int argc, char** argv, std::vector<std::string>& operands, int& status);

// ---- Catalogue ------------------------------------------------------------

// One call's arguments in C order: f(x), f(x, y), f(n, x). Single-precision
// arguments are held as doubles with float values.
struct Input {
    double x = 0.0, y = 0.0;
    int n = 0;
};

enum class Dist : std::uint8_t {
    None,
    Uniform,      // uniform in [lo, hi]
    LogUniform,   // magnitude log-uniform in [lo, hi], positive
    SignedLog,    // magnitude log-uniform in [lo, hi], either sign
    AnyFinite,    // every finite bit pattern alike (log-uniform over all binades, subnormals too)
    PositiveFinite,
    Integer,      // integer in [lo, hi]
    HalfInteger,  // k + 1/2, k integer in [lo, hi]
};

struct Axis {
    Dist dist = Dist::None;
    double lo = 0.0, hi = 0.0;
};

struct Range {
    std::string label;
    Axis x, y;
    int n_lo = 0, n_hi = 0;  // order of _yn
};

using RefFn = int (*)(mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr b, long n, mpfr_rnd_t rnd);
using VoidFn = void (*)();
// The C entries' types, by signature (VoidFn holds one of them).
using D1 = double (*)(double);
using D2 = double (*)(double, double);
using DN = double (*)(int, double);
using F1 = float (*)(float);
using F2 = float (*)(float, float);

struct Function {
    const kalm_export* e = nullptr;
    std::string name;
    int signature = 0;   // enum kalm_signature
    bool single = false;
    int arity = 1;       // floating arguments
    VoidFn kalm = nullptr;  // the kalm_* C entry
    VoidFn host = nullptr;  // the host libm's function of the same name
    std::string host_name;
    RefFn ref = nullptr;
    std::vector<Range> ranges;  // accuracy sampling, in order of interest
    Range bench;                // the usual range, for timing
    double cost = 1.0;          // relative cost of one accuracy sample (the oracle dominates)
};

// Every export of the library (kalm::exports), in ordinal order.
const std::vector<Function>& catalogue();
// Their names, in the same order.
const std::vector<std::string>& all_export_names();
// An export by its name ("_y0", "sin"), its C name ("kalm_y0"), its name without
// the underscore ("y0") or its ordinal ("#1"); nullptr, with `error` set, for none.
const Function* find_function(const std::string& name, std::string& error);
// The exports the catalogue has no entry (host function, reference, ranges) for:
// none, unless an export was added to the library and not here.
std::vector<std::string> uncatalogued_exports();

Input draw(const Range& r, bool single, std::uint64_t& state);
// `v` rounded to the export's argument format (float for the single ones).
double in_format(const Function& f, double v);
std::vector<Input> special_inputs(const Function& f);
double call_kalm(const Function& f, const Input& in);
// The same call through kalm_call and the device's words; `rc` gets kalm_call's status.
double call_kalm_words(const Function& f, const Input& in, int* rc = nullptr);
double call_host(const Function& f, const Input& in);
// The input as exact bits, "0x... (decimal)" each, or the bits alone.
std::string format_input(const Function& f, const Input& in, bool with_decimal = true);
std::uint64_t mix64(std::uint64_t v);
std::uint64_t hash_name(const std::string& s);

// ---- Accuracy -------------------------------------------------------------

struct UlpStats {
    long long count = 0;       // results compared
    long long measured = 0;    // of those with a finite ulp error (the rest: special mismatches)
    long long correctly_rounded = 0;
    double max = 0.0, sum = 0.0;
    bool has_at = false;
    Input at;
    double libm_max = 0.0;
    long long libm_measured = 0;
    long long nan_diff = 0, inf_diff = 0, zero_diff = 0;
    struct Example {
        Input in;
        double got, ref;
    };
    std::vector<Example> examples;  // the first few special mismatches
    // The largest finite errors, largest first (kWorst at most): the input,
    // the result and the correctly rounded value.
    struct Worst {
        double err;
        Input in;
        double got, ref;
    };
    static constexpr std::size_t kWorst = 3;
    std::vector<Worst> worst;
    void note_worst(const Worst& w);
    void merge(const UlpStats& o);
    double mean() const { return measured ? sum / static_cast<double>(measured) : 0.0; }
    double cr_share() const { return count ? static_cast<double>(correctly_rounded) / static_cast<double>(count) : 0.0; }
};

struct AccuracyPlan {
    std::vector<const Function*> functions;
    long long samples = -1;   // random samples per export; -1: each export's default
    double default_scale = 1.0;  // scales the defaults (the report takes a small share)
    std::uint64_t seed = 1;
    unsigned threads = 1;
    bool exhaustive = false;  // every float input of one-argument single exports
    bool specials = true;
    bool progress = false;    // progress bar on stderr
    // In place of each export's own ranges: x (and y, for two-argument
    // exports) from this interval; _yn's n still from its first range.
    bool has_interval = false;
    double lo = 0, hi = 0;
    bool log_uniform = false;  // magnitude log-uniform in [lo, hi] (0 < lo), else uniform
};
// The range that stands for a user's interval for `f`.
Range interval_range(const Function& f, double lo, double hi, bool log_uniform);

struct AccuracyResult {
    const Function* f = nullptr;
    UlpStats total;
    std::vector<std::pair<std::string, UlpStats>> ranges;
};

struct AccuracyOutcome {
    std::vector<AccuracyResult> results;
    bool interrupted = false;
    long long done = 0, planned = 0;
    double seconds = 0.0;
};

long long default_samples(const Function& f, double scale);
// The ulp error of one call (infinite for a NaN, infinity or zero where the
// exact value is none of them), and the host libm's beside it. One thread.
double ulp_error_at(const Function& f, const Input& in, double* host_err = nullptr);
AccuracyOutcome run_accuracy(const AccuracyPlan& plan);

// ---- Speed ----------------------------------------------------------------

struct BenchRow {
    const Function* f = nullptr;
    double kalm_tput = 0, host_tput = 0;  // ns/call, median
    double kalm_lat = 0, host_lat = 0;
    double tput_ratio = 0, lat_ratio = 0;  // median of per-repetition kalm/host ratios
    // Dispersion of the per-repetition ratios: their median absolute
    // deviation over their median (0.05: a typical repetition is 5% off).
    double tput_disp = 0, lat_disp = 0;
    std::string inputs;  // the label of the inputs timed
    bool has_host = false;
    // With BenchPlan::scope: the kalm_* entries inside a device-environment
    // scope, their ratios to the host's and the gain over the default path
    // (default ns / scope ns), each the median of per-repetition ratios.
    double scope_tput = 0, scope_lat = 0, scope_tput_ratio = 0, scope_lat_ratio = 0, scope_gain = 0,
           scope_lat_gain = 0;
};
// Above this dispersion a row is flagged as noisy.
inline constexpr double kNoisyDispersion = 0.05;

struct BenchPlan {
    std::vector<const Function*> functions;
    int reps = 7;
    bool scope = false;      // time the kalm_* entries inside a scope as a third side
    double target_ms = 4.0;  // length of one timed run
    bool latency = true;
    bool progress = false;
    // In place of each export's usual range (interval_range).
    bool has_interval = false;
    double lo = 0, hi = 0;
    bool log_uniform = false;
    // Time by the thread's CPU clock instead of the wall clock: what the calls
    // cost while they ran, on a machine shared with other work (time slices
    // given to other processes are not counted).
    bool thread_clock = false;
};

std::vector<BenchRow> run_bench(const BenchPlan& plan);
std::string bench_method(const BenchPlan& plan);

// ---- Conformance (vectors embedded at build time) -------------------------

struct EmbeddedFile {
    const char* name;
    const char* text;
};
extern const EmbeddedFile kEmbeddedVectors[];  // ends with {nullptr, nullptr}

// ---- Command-line helpers -------------------------------------------------

// One floating argument of `kalm eval`, read correctly rounded for its type:
// decimal or hex-float literals (strtof for a float, never through double),
// inf, nan, or 0x and 8/16 hex digits of IEEE bits. An overflow to infinity
// or an underflow to zero is an error; a literal rounded into the subnormal
// range gives a warning.
// `bits`: the argument's IEEE bits (a float's in the low 32).
bool parse_real_arg(const std::string& text, bool single, std::uint64_t& bits, std::string& error,
                    std::string& warning);

// The exit statuses of every command: 0 ok, 1 a mismatch or a limit exceeded,
// 2 a bad command line or malformed input, 3 an I/O error.
int bad_input(const std::string& msg);  // "kalm: MSG", one line on stderr; returns 2
int io_error(const std::string& msg);   // "kalm: MSG", one line on stderr; returns 3
// Resolves NAME... (all exports when empty), dropping repeats; false with `error` set.
bool select_functions(const std::vector<std::string>& names, std::vector<const Function*>& out, std::string& error);
std::string fmt_ulp(double u);
bool stderr_is_tty();

// A CSV file written whole or not at all: a temporary file beside the target,
// renamed over it on commit and removed otherwise.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    bool open(const std::string& path, std::string& error);
    std::FILE* get() { return f_; }
    bool commit(std::string& error);

private:
    std::string path_, tmp_;
    std::FILE* f_ = nullptr;
};

// SIGINT sets the flag while a guard is alive; the previous handler returns after.
extern std::atomic<bool> g_interrupted;
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// One progress line on stderr: bar, share done, elapsed time and ETA.
void draw_progress(const std::string& what, double share, double elapsed_s);
void clear_progress();

}  // namespace kalmtool
