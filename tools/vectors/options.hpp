// SPDX-License-Identifier: MIT
// The command-line options of kalm's commands, kalm_check and kalm_diff, and
// the usage text made from them. An option is --NAME VALUE or --NAME=VALUE (a
// flag takes no value); every value is checked whole: no sign where none
// belongs, no trailing characters, nothing out of range. An unknown option, a
// missing value and a bad value are errors, never a silent default.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kalmtool {

// A whole unsigned number, decimal or 0x hex (or 0-prefixed octal), no sign,
// no blanks, within 64 bits.
bool parse_u64(const std::string& s, std::uint64_t& v);
// parse_u64 within [lo, hi].
bool parse_count(const std::string& s, long long lo, long long hi, long long& v);

class Options {
public:
    // `program` as it is typed ("kalm accuracy"), `operands` as the usage
    // shows them ("[NAME...]"), `about` one line on what the program does.
    Options(std::string program, std::string operands, std::string about = "");

    // Each option sets its target only when it is given.
    Options& flag(const std::string& name, bool& target, const std::string& help);
    Options& count(const std::string& name, long long& target, long long lo, long long hi, const std::string& help);
    Options& u64(const std::string& name, std::uint64_t& target, const std::string& help);
    // A non-empty string.
    Options& text(const std::string& name, std::string& target, const std::string& metavar, const std::string& help);
    // Any other value: `take` checks and stores it, or returns false with `error` set.
    using Taker = std::function<bool(const std::string& value, std::string& error)>;
    Options& custom(const std::string& name, const std::string& metavar, const std::string& help, Taker take);

    enum class Status { Ok, Help, Version, Error };
    // Options may come anywhere among the operands, which are collected in
    // order. "--" ends the options; "-" (standard input) and anything that
    // reads as a negative number ("-1.5", "-inf", "-0x...") are operands;
    // "-h" and "--help" ask for the usage, "--version" for the version.
    Status parse(int argc, char* const* argv, std::vector<std::string>& operands);
    // After Status::Error: one line naming the problem.
    const std::string& error() const { return error_; }
    // "usage: PROGRAM OPERANDS [options]", the about line, one line per option.
    std::string usage() const;
    const std::string& program() const { return program_; }

private:
    struct OptionDef {
        std::string name, metavar, help;
        bool takes_value = true;
        Taker take;
        std::function<void()> set;  // flags
    };
    const OptionDef* find(const std::string& name) const;

    std::string program_, operands_, about_, error_;
    std::vector<OptionDef> defs_;
};

}  // namespace kalmtool
