// SPDX-License-Identifier: MIT
// kalm vectors [--summary] [--generate] [--caller-env ...] [--json|--csv FILE|-] [FILE...|-]:
// the vector runner on files or standard input.
// Status: 0 every line passes, 1 a line does not match, 2 a malformed line
// (or a bad command line), 3 a file that cannot be read.
#include <cstdio>
#include <iostream>

#include "commands.hpp"
#include "rows.hpp"
#include "vectors.hpp"

namespace kalmtool {
namespace {

const char* kind_name(LineEvent::Kind k) {
    switch (k) {
        case LineEvent::Kind::Pass: return "pass";
        case LineEvent::Kind::Mismatch: return "mismatch";
        case LineEvent::Kind::Malformed: return "malformed";
        case LineEvent::Kind::Generated: return "generated";
        case LineEvent::Kind::Tolerated: return "tolerated";
    }
    return "?";
}

// Every line that is not a plain pass becomes a row.
class RowSink : public LineSink {
public:
    RowSink(RowWriter& w, LineSink* text) : w_(w), text_(text) {}
    void line(const LineEvent& e) override {
        if (text_) text_->line(e);
        if (e.kind == LineEvent::Kind::Pass) return;
        w_.row({str("source", e.source), num("line", static_cast<long long>(e.line)),
                str("caller_env", e.env.empty() ? "default" : e.env), str("status", kind_name(e.kind)),
                str("input", e.input), str("expected", e.expected), str("got", e.got), str("message", e.message)});
    }
    void env_done(const std::string& env, const Tally& t, bool several) override {
        if (text_) text_->env_done(env, t, several);
    }

private:
    RowWriter& w_;
    LineSink* text_;
};

}  // namespace

int cmd_vectors(int argc, char** argv) {
    bool summary_only = false;
    RunnerOptions opts;
    RowWriter rows;
    Options options = command_options("vectors");
    options.flag("--summary", summary_only, "leave out the outcomes of generated lines (failures are still listed)");
    add_runner_options(options, opts);
    rows.add_options(options);
    std::vector<std::string> files;
    int status = 0;
    if (!parse_command_line(options, argc, argv, files, status)) return status;
    if (files.empty()) files.push_back("-");
    std::string error;
    if (!rows.open("vectors", error)) return error.rfind("cannot", 0) == 0 ? io_error(error) : bad_input(error);
    Tally tally;
    TextSink text(std::cout, summary_only);
    RowSink structured(rows, rows.owns_stdout() ? nullptr : &text);
    LineSink& sink = rows.active() ? static_cast<LineSink&>(structured) : text;
    const int io = run_vector_files(files, opts, sink, tally, error);
    std::cout.flush();
    if (io != 0) return io_error(error);
    if (!rows.owns_stdout() && (tally.passed + tally.failed + tally.malformed > 0 || tally.generated == 0)) {
        std::printf("%ld passed, %ld failed", tally.passed, tally.failed);
        if (tally.malformed) std::printf(", %ld malformed", tally.malformed);
        std::printf("\n");
    }
    if (!rows.finish({num("passed", static_cast<long long>(tally.passed)),
                      num("failed", static_cast<long long>(tally.failed)),
                      num("malformed", static_cast<long long>(tally.malformed)),
                      num("generated", static_cast<long long>(tally.generated)),
                      num("exit_status", static_cast<long long>(exit_status(tally)))},
                     error))
        return io_error(error);
    return exit_status(tally);
}

}  // namespace kalmtool
