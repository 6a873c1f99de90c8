// SPDX-License-Identifier: MIT
#include "rows.hpp"

#include <cinttypes>
#include <cmath>
#include <cstdlib>

namespace kalmtool {

Field num(const std::string& key, double v) {
    if (!std::isfinite(v)) return {key, std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf"), true};
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    // The shortest of %.15g..%.17g that reads back as v, for tables people read.
    for (int p = 15; p < 17; ++p) {
        char b2[40];
        std::snprintf(b2, sizeof b2, "%.*g", p, v);
        if (std::strtod(b2, nullptr) == v) {
            std::snprintf(buf, sizeof buf, "%s", b2);
            break;
        }
    }
    return {key, buf, false};
}
Field num(const std::string& key, long long v) { return {key, std::to_string(v), false}; }
Field str(const std::string& key, const std::string& v) { return {key, v, true}; }
Field flag(const std::string& key, bool v) { return {key, v ? "true" : "false", false}; }

std::string json_escape(const std::string& s) {
    std::string o = "\"";
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            o += '\\';
            o += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            o += buf;
        } else {
            o += c;
        }
    }
    return o + "\"";
}

std::string csv_escape(const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string o = "\"";
    for (char c : s) {
        if (c == '"') o += '"';
        o += c;
    }
    return o + "\"";
}

namespace {
std::string json_object(const Row& r) {
    std::string o = "{";
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (i) o += ", ";
        o += json_escape(r[i].key) + ": ";
        // JSON has no infinity or NaN: they travel as text.
        o += r[i].text ? json_escape(r[i].value) : r[i].value;
    }
    return o + "}";
}
}  // namespace

void RowWriter::add_options(Options& options) {
    options.flag("--json", json_, "write the table as one JSON document on stdout, rows as they finish")
        .text("--csv", csv_, "FILE|-", "write the table as CSV to FILE (written whole or not at all), - for stdout");
}

bool RowWriter::open(const std::string& command, std::string& error) {
    command_ = command;
    if (json_ && csv_ == "-") {
        error = "--json and --csv - both want stdout";
        return false;
    }
    if (!csv_.empty() && csv_ != "-") {
        if (!file_.open(csv_, error)) return false;
        csv_out_ = file_.get();
    } else if (csv_ == "-") {
        csv_out_ = stdout;
    }
    return true;
}

void RowWriter::about(const Row& r) { about_ = r; }

void RowWriter::begin() {
    if (begun_) return;
    begun_ = true;
    if (json_) {
        std::printf("{\"command\": %s,\n \"about\": %s,\n \"rows\": [\n", json_escape(command_).c_str(),
                    json_object(about_).c_str());
        std::fflush(stdout);
    }
}

void RowWriter::row(const Row& r) {
    begin();
    if (json_) {
        // The comma leads the next row, so that each row's line is complete
        // (and readable by a line-by-line consumer) as soon as it is written.
        std::printf("%s%s\n", rows_ ? " , " : "   ", json_object(r).c_str());
        std::fflush(stdout);
    }
    if (csv_out_ != nullptr) {
        if (!header_) {
            for (std::size_t i = 0; i < r.size(); ++i)
                std::fprintf(csv_out_, "%s%s", i ? "," : "", csv_escape(r[i].key).c_str());
            std::fputc('\n', csv_out_);
            header_ = true;
        }
        for (std::size_t i = 0; i < r.size(); ++i)
            std::fprintf(csv_out_, "%s%s", i ? "," : "", csv_escape(r[i].value).c_str());
        std::fputc('\n', csv_out_);
        std::fflush(csv_out_);
    }
    ++rows_;
}

bool RowWriter::finish(const Row& summary, std::string& error) {
    begin();
    if (json_) {
        std::printf(" ],\n \"summary\": %s}\n", json_object(summary).c_str());
        std::fflush(stdout);
    }
    if (csv_out_ != nullptr && csv_out_ != stdout) {
        csv_out_ = nullptr;
        return file_.commit(error);
    }
    return true;
}

}  // namespace kalmtool
