// SPDX-License-Identifier: MIT
#include "options.hpp"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace kalmtool {

bool parse_u64(const std::string& s, std::uint64_t& v) {
    // strtoull alone would take a sign (and wrap a negative one), leading
    // blanks, and report nothing for an empty string.
    if (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(s.c_str(), &end, 0);
    if (end != s.c_str() + s.size() || errno != 0) return false;
    v = n;
    return true;
}

bool parse_count(const std::string& s, long long lo, long long hi, long long& v) {
    std::uint64_t u;
    if (!parse_u64(s, u) || u > static_cast<std::uint64_t>(hi) || static_cast<long long>(u) < lo) return false;
    v = static_cast<long long>(u);
    return true;
}

namespace {

// 1099511627776 reads better as 2^40.
std::string show_bound(long long v) {
    if (v >= (1ll << 20) && std::has_single_bit(static_cast<unsigned long long>(v)))
        return "2^" + std::to_string(std::countr_zero(static_cast<unsigned long long>(v)));
    return std::to_string(v);
}

// An argument that starts with '-' but is a value: "-1", "-.5", "-inf", "-nan", "-0x...".
bool negative_number(const std::string& a) {
    if (a.size() < 2 || a[0] != '-') return false;
    const unsigned char c = static_cast<unsigned char>(a[1]);
    if (std::isdigit(c) || c == '.') return true;
    std::string rest = a.substr(1);
    for (auto& ch : rest) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return rest == "inf" || rest == "infinity" || rest == "nan";
}

}  // namespace

Options::Options(std::string program, std::string operands, std::string about)
    : program_(std::move(program)), operands_(std::move(operands)), about_(std::move(about)) {}

Options& Options::flag(const std::string& name, bool& target, const std::string& help) {
    OptionDef s;
    s.name = name;
    s.help = help;
    s.takes_value = false;
    s.set = [&target] { target = true; };
    defs_.push_back(std::move(s));
    return *this;
}

Options& Options::count(const std::string& name, long long& target, long long lo, long long hi,
                        const std::string& help) {
    return custom(name, "N", help, [&target, lo, hi](const std::string& v, std::string& error) {
        if (parse_count(v, lo, hi, target)) return true;
        error = "'" + v + "' is not a count from " + show_bound(lo) + " to " + show_bound(hi);
        return false;
    });
}

Options& Options::u64(const std::string& name, std::uint64_t& target, const std::string& help) {
    return custom(name, "S", help, [&target](const std::string& v, std::string& error) {
        if (parse_u64(v, target)) return true;
        error = "'" + v + "' is not an unsigned 64-bit number";
        return false;
    });
}

Options& Options::text(const std::string& name, std::string& target, const std::string& metavar,
                       const std::string& help) {
    return custom(name, metavar, help, [&target, metavar](const std::string& v, std::string& error) {
        if (v.empty()) {
            error = "empty " + metavar;
            return false;
        }
        target = v;
        return true;
    });
}

Options& Options::custom(const std::string& name, const std::string& metavar, const std::string& help, Taker take) {
    OptionDef s;
    s.name = name;
    s.metavar = metavar;
    s.help = help;
    s.take = std::move(take);
    defs_.push_back(std::move(s));
    return *this;
}

const Options::OptionDef* Options::find(const std::string& name) const {
    for (const auto& s : defs_)
        if (s.name == name) return &s;
    return nullptr;
}

Options::Status Options::parse(int argc, char* const* argv, std::vector<std::string>& operands) {
    bool only_operands = false;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (only_operands || a == "-" || a.empty() || a[0] != '-' || negative_number(a)) {
            operands.push_back(a);
            continue;
        }
        if (a == "--") {
            only_operands = true;
            continue;
        }
        if (a == "-h" || a == "--help") return Status::Help;
        if (a == "--version") return Status::Version;
        const auto eq = a.find('=');
        const std::string name = a.substr(0, eq);
        const OptionDef* s = a.rfind("--", 0) == 0 ? find(name) : nullptr;
        if (s == nullptr) {
            error_ = "unknown option '" + name + "' (see '" + program_ + " --help')";
            return Status::Error;
        }
        if (!s->takes_value) {
            if (eq != std::string::npos) {
                error_ = name + " takes no value";
                return Status::Error;
            }
            s->set();
            continue;
        }
        std::string value;
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error_ = name + " needs a value (" + s->metavar + ")";
            return Status::Error;
        }
        std::string why;
        if (!s->take(value, why)) {
            error_ = name + ": " + why;
            return Status::Error;
        }
    }
    return Status::Ok;
}

std::string Options::usage() const {
    std::string u = "usage: " + program_ + (operands_.empty() ? "" : " " + operands_) +
                    (defs_.empty() ? "" : " [options]") + "\n";
    if (!about_.empty()) u += "  " + about_ + "\n";
    std::size_t width = 0;
    for (const auto& s : defs_) width = std::max(width, s.name.size() + (s.takes_value ? s.metavar.size() + 1 : 0));
    for (const auto& s : defs_) {
        std::string left = s.name + (s.takes_value ? " " + s.metavar : "");
        left.resize(width, ' ');
        u += "  " + left + "  " + s.help + "\n";
    }
    return u;
}

}  // namespace kalmtool
