// SPDX-License-Identifier: MIT
// Machine-readable output of the accuracy, bench and vectors commands:
// --json (one JSON document on stdout) or --csv FILE, "-" for stdout. Rows go
// out as they are finished, each flushed, so that a long run can be followed
// and a run cut short still leaves its finished rows; the JSON document is
//   {"command": "...", "about": {...}, "rows": [{...}, ...], "summary": {...}}
// and the CSV a header line (the first row's keys) then one line per row.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "commands.hpp"

namespace kalmtool {

// One value: a number written as given, or text (quoted and escaped).
struct Field {
    std::string key, value;
    bool text = true;
};
using Row = std::vector<Field>;
Field num(const std::string& key, double v);            // %.17g; inf/nan become null in JSON, text in CSV
Field num(const std::string& key, long long v);
Field str(const std::string& key, const std::string& v);
Field flag(const std::string& key, bool v);

std::string json_escape(const std::string& s);
std::string csv_escape(const std::string& s);

class RowWriter {
public:
    // Adds --json and --csv FILE|- to a command's options.
    void add_options(Options& options);
    // After parsing: opens the CSV file (written whole or not at all) or
    // checks that JSON and CSV on stdout are not both asked for.
    bool open(const std::string& command, std::string& error);
    // True when stdout carries JSON or CSV: the text table is left out.
    bool owns_stdout() const { return json_ || csv_ == "-"; }
    bool active() const { return json_ || !csv_.empty(); }
    // Written once, before the first row (JSON only).
    void about(const Row& r);
    void row(const Row& r);
    // Ends the document; JSON gets the summary. False when the CSV file
    // could not be written.
    bool finish(const Row& summary, std::string& error);

private:
    void begin();
    bool json_ = false, begun_ = false, header_ = false;
    long rows_ = 0;
    std::string csv_, command_;
    Row about_;
    AtomicFile file_;
    std::FILE* csv_out_ = nullptr;
};

}  // namespace kalmtool
