// SPDX-License-Identifier: MIT
#include "vectors.hpp"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include <sys/stat.h>

#include "abi/export_list.hpp"
#include "abi/words.hpp"
#include "host/bits.hpp"
#include "kalmlib/kalmlib.hpp"

namespace kalmtool {
namespace {

bool arg_is_float(const kalm_export* e) { return e->signature == KALM_SIG_F_F || e->signature == KALM_SIG_FF_F; }

bool parse_hex(const std::string& t, unsigned digits, std::uint64_t& v) {
    if (t.size() != digits + 2 || t[0] != '0' || t[1] != 'x') return false;
    v = 0;
    for (std::size_t i = 2; i < t.size(); ++i) {
        char c = t[i];
        unsigned d;
        if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
        else return false;
        v = (v << 4) | d;
    }
    return true;
}

std::string hex_bits(std::uint64_t v, bool is_float) {
    char buf[24];
    if (is_float) std::snprintf(buf, sizeof buf, "0x%08" PRIx32, static_cast<std::uint32_t>(v));
    else std::snprintf(buf, sizeof buf, "0x%016" PRIx64, v);
    return buf;
}

// The five status codes an export can raise.
bool known_status(std::uint64_t code) {
    return code == 0xC000008E || code == 0xC000008F || code == 0xC0000090 || code == 0xC0000091 ||
           code == 0xC0000093;
}

bool parse_outcome(const std::vector<std::string>& t, std::size_t at, bool is_float, Outcome& o, std::string& error) {
    if (t.size() != at + 3) {
        error = "expected 'RESULT FLAGS RAISE' after '->'";
        return false;
    }
    if (!parse_hex(t[at], is_float ? 8 : 16, o.result)) {
        error = "bad result bits '" + t[at] + "' (" + (is_float ? "0x + 8" : "0x + 16") + " hex digits)";
        return false;
    }
    // Exactly two hex digits: strtoul would take a sign ("-0"), blanks and a 0x prefix.
    const std::string& fl = t[at + 1];
    std::uint64_t f = 0;
    if (fl.size() != 2 || !parse_hex("0x" + fl, 2, f) || (f & ~0x1Dull) != 0) {
        error = "bad flags '" + fl + "' (two hex digits, bits 01 04 08 10)";
        return false;
    }
    o.flags = static_cast<unsigned>(f);
    std::string r = t[at + 2];
    if (r != "-") {
        std::uint64_t code = 0;
        if (r.size() != 12 || r[8] != '@' || !parse_hex("0x" + r.substr(0, 8), 8, code) ||
            (r.substr(9) != "app" && r.substr(9) != "lib")) {
            error = "bad raise '" + r + "' (- or CODE@app or CODE@lib)";
            return false;
        }
        if (!known_status(code)) {
            error = "bad raise '" + r + "': not a floating-point status code";
            return false;
        }
        for (std::size_t i = 0; i < 8; ++i)
            if (r[i] >= 'a' && r[i] <= 'f') r[i] = static_cast<char>(r[i] - 'a' + 'A');
    }
    o.raise = r;
    return true;
}

// Blanks are spaces and tabs; every other control byte (NUL, CR, ...) is an
// error, so that what a reader sees is what runs.
bool split_strict(const std::string& line, std::vector<std::string>& out, std::string& error) {
    out.clear();
    std::string cur;
    for (char c : line) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t') {
            char buf[64];
            std::snprintf(buf, sizeof buf, "control byte 0x%02x in the line", u);
            error = buf;
            return false;
        }
        if (u == 0x7F) {
            error = "control byte 0x7f in the line";
            return false;
        }
    }
    const std::string body = line.substr(0, line.find('#'));
    for (char c : body) {
        if (c == ' ' || c == '\t') {
            if (!cur.empty()) out.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(std::move(cur));
    return true;
}

}  // namespace

bool parse_int(const std::string& text, std::int32_t& v) {
    // One spelling per value: an optional '-', no '+', no leading zeros, no "-0".
    const bool neg = !text.empty() && text[0] == '-';
    const std::string digits = neg ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 10 || (digits[0] == '0' && (digits.size() > 1 || neg))) return false;
    long long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (neg) n = -n;
    if (n < INT32_MIN || n > INT32_MAX) return false;
    v = static_cast<std::int32_t>(n);
    return true;
}

namespace {
template <class T>
void append(std::vector<std::uint32_t>& words, T v) {
    std::uint32_t w[2];
    words.insert(words.end(), w, kalm::words::put(w, v));
}
}  // namespace

void append_words(std::vector<std::uint32_t>& words, double v) { append(words, v); }
void append_words(std::vector<std::uint32_t>& words, float v) { append(words, v); }
void append_words(std::vector<std::uint32_t>& words, int v) { append(words, v); }

bool parse_value(const std::string& text, bool is_float, std::vector<std::uint32_t>& words, std::string& error) {
    std::string s = text;
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (s.rfind("0x", 0) == 0 && s.find('.') == std::string::npos && s.find('p') == std::string::npos) {
        std::uint64_t b = 0;
        if (!parse_hex(s, is_float ? 8 : 16, b)) {
            error = "'" + text + "' is not " + (is_float ? "0x + 8" : "0x + 16") + " hex digits of IEEE bits";
            return false;
        }
        // Bits as they are: a signalling NaN stays one.
        if (is_float) append(words, std::bit_cast<float>(static_cast<std::uint32_t>(b)));
        else append(words, std::bit_cast<double>(b));
        return true;
    }
    const bool neg = !s.empty() && s[0] == '-';
    const std::string body = (neg || (!s.empty() && s[0] == '+')) ? s.substr(1) : s;
    double d;
    if (body == "inf" || body == "infinity") {
        d = __builtin_inf();
    } else if (body == "nan") {
        d = __builtin_nan("");
    } else {
        errno = 0;
        char* end = nullptr;
        d = std::strtod(body.c_str(), &end);
        if (body.empty() || *end != '\0' || body[0] == '-' || body[0] == '+') {
            error = "'" + text + "' is not a number (decimal, inf, nan, -0 or 0x IEEE bits)";
            return false;
        }
    }
    if (neg) d = -d;
    if (is_float) append(words, static_cast<float>(d));
    else append(words, d);
    return true;
}

bool parse_vector(const std::string& raw, Vector& v, std::string& error) {
    v = Vector{};
    std::vector<std::string> t;
    if (!split_strict(raw, t, error)) return false;
    if (t.empty()) return true;
    const kalm_export* e = kalm_export_by_name(t[0].c_str());
    if (e == nullptr) {
        error = "unknown export '" + t[0] + "'";
        return false;
    }
    std::size_t arrow = t.size();
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] != "->") continue;
        if (arrow != t.size()) {
            error = "more than one '->'";
            return false;
        }
        arrow = i;
    }
    int nargs = e->signature == KALM_SIG_D_D || e->signature == KALM_SIG_F_F ? 1 : 2;
    if (arrow != static_cast<std::size_t>(nargs) + 1) {
        error = t[0] + " takes " + std::to_string(nargs) + " argument" + (nargs == 1 ? "" : "s");
        return false;
    }
    const bool f = arg_is_float(e);
    std::string input = t[0];
    for (int i = 0; i < nargs; ++i) {
        const std::string& a = t[static_cast<std::size_t>(i) + 1];
        if (e->signature == KALM_SIG_ID_D && i == 0) {
            std::int32_t n;
            if (!parse_int(a, n)) {
                error = "bad int argument '" + a + "' (decimal, no sign but '-', no leading zeros)";
                return false;
            }
            append(v.words, static_cast<int>(n));
            input += " " + std::to_string(n);
            continue;
        }
        std::uint64_t b;
        if (!parse_hex(a, f ? 8 : 16, b)) {
            error = "argument '" + a + "' is not " + (f ? "0x + 8" : "0x + 16") + " hex digits";
            return false;
        }
        if (f) append(v.words, std::bit_cast<float>(static_cast<std::uint32_t>(b)));
        else append(v.words, std::bit_cast<double>(b));
        input += " " + hex_bits(b, f);
    }
    v.fn = e;
    v.input = input;
    if (arrow < t.size()) {
        Outcome o;
        if (!parse_outcome(t, arrow + 1, f, o, error)) return false;
        v.expected = o;
    }
    return true;
}

namespace {
void marker() {}
}  // namespace

std::uintptr_t app_report_address() { return reinterpret_cast<std::uintptr_t>(&marker); }

namespace {
// The base of the loaded module (executable or shared library) that holds a
// code address, or null when none does.
const void* module_of(std::uintptr_t addr) {
#if defined(_WIN32)
    HMODULE m = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(addr), &m))
        return nullptr;
    return m;
#else
    Dl_info at{};
    if (!dladdr(reinterpret_cast<void*>(addr), &at)) return nullptr;
    return at.dli_fbase;
#endif
}
}  // namespace

std::string classify_address(std::uintptr_t addr) {
    if (addr == app_report_address()) return "app";
#if defined(__wasm__)
    // No modules there: the library's own report sites (host/bits.hpp).
    if (kalm::lib::in_library_site(addr)) return "lib";
#endif
    const void* lib = module_of(reinterpret_cast<std::uintptr_t>(&kalm_export_by_name));
    if (lib != nullptr && module_of(addr) == lib) return "lib";
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%" PRIxPTR, addr);
    return buf;
}

Outcome run_vector(const Vector& v, std::string* trouble) {
    Outcome o;
    std::uint32_t res[2] = {0, 0};
    const CallerEnv& env = caller_env();
    const std::uintptr_t where = app_report_address();
    std::string found;
    // Everything the call needs is computed before the environment goes in,
    // and the environment comes out right after the call.
    auto call = [&](const char* how, bool unmasked) {
        kalm_clear_flags();  // also the x87 flags that <cfenv> reads beside MXCSR
        FpRegs after = env.regs;
        try {
            call_in_env(env, after, [&] { kalm_call(v.fn->ordinal, v.words.data(), v.words.size(), res, 2, where); });
        } catch (const kalm::FpException& e) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%08" PRIX32 "@", e.status_code());
            if (unmasked) {
                o.raise = buf + classify_address(e.report_address());
            } else if (found.empty()) {
                found = std::string("raised ") + buf + classify_address(e.report_address()) + " with everything masked";
            }
        }
        const std::string c = env_change(env, after);
        if (found.empty() && !c.empty()) found = std::string("caller environment changed with ") + how + ": " + c;
    };
    const std::uint32_t saved = kalm_control_word();
    kalm_set_raise_handler(nullptr, nullptr);
    kalm_set_control_word(KALM_MASK_ALL);
    call("everything masked", false);
    o.flags = kalm_status() & 0x1Du;
    o.result = kalm::words::result_bits(res, static_cast<std::size_t>(v.fn->result_words));

    kalm_set_control_word(0);
    call("everything unmasked", true);
    kalm_set_control_word(saved);
    kalm_clear_flags();
    if (trouble) *trouble = found;
    return o;
}

Outcome expected_in_env(const Vector& v, const Outcome& file, const Outcome& got, const CallerEnv& env) {
    // An unframed single function leaves the flags the caller had set in place.
    const int ord = v.fn->ordinal;
    const bool leaves_flags = ord >= 1 && static_cast<std::size_t>(ord) <= kalm::exports::count &&
                              kalm::exports::kinds[ord - 1] == kalm::exports::Kind::UNFRAMED;
    Outcome want = file;
    const unsigned preset = preset_sticky(env);
    if (preset != 0 && got.flags == (file.flags | preset) && leaves_flags) want.flags = got.flags;
    return want;
}

std::string format_outcome(const Vector& v, const Outcome& o) {
    char flags[8];
    std::snprintf(flags, sizeof flags, "%02x", o.flags);
    return v.input + " -> " + hex_bits(o.result, v.fn->result_words == 1) + " " + flags + " " + o.raise;
}

namespace {
bool g_tolerant = false;
long g_tolerated = 0;
}  // namespace

void set_host_tolerant(bool on) { g_tolerant = on; }
long tolerated_count() { return g_tolerated; }

bool tolerable_difference(const Vector& v, const Outcome& e, const Outcome& g) {
    const bool single = v.fn->result_words == 1;
    const std::uint64_t magnitude = single ? (g.result & 0x7FFFFFFFu) : (g.result & 0x7FFFFFFFFFFFFFFFull);
    const std::uint64_t smallest_normal = single ? 0x00800000u : 0x0010000000000000ull;
    if (e.result == g.result && magnitude == smallest_normal && (e.flags ^ g.flags) == 0x08u) {
        if (e.raise == g.raise) return true;
        const std::string suffix_e = e.raise.size() > 8 ? e.raise.substr(8) : "";
        const std::string suffix_g = g.raise.size() > 8 ? g.raise.substr(8) : "";
        const std::string ce = e.raise.substr(0, 8), cg = g.raise.substr(0, 8);
        const bool swap = (ce == "C0000093" && cg == "C000008F") || (ce == "C000008F" && cg == "C0000093");
        return swap && suffix_e == suffix_g;
    }
    return false;
}

LineRead read_line(std::istream& in, std::string& line, std::size_t max) {
    line.clear();
    std::istream::sentry ok(in, true);
    if (!ok) return in.bad() ? LineRead::Error : LineRead::End;
    std::streambuf* sb = in.rdbuf();
    bool any = false;
    for (;;) {
        const int c = sb->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return any ? LineRead::Line : LineRead::End;
        }
        any = true;
        if (c == '\n') return LineRead::Line;
        if (line.size() == max) {
            // Too long: the rest of the line is read and dropped, never kept.
            for (int d = sb->sbumpc(); d != '\n' && d != std::char_traits<char>::eof(); d = sb->sbumpc()) {
            }
            line.clear();
            return LineRead::TooLong;
        }
        line += static_cast<char>(c);
    }
}

void TextSink::line(const LineEvent& e) {
    const std::string where = e.source + ":" + std::to_string(e.line) + ": ";
    const std::string under = e.env.empty() ? "" : "  (caller environment " + e.env + ")";
    switch (e.kind) {
        case LineEvent::Kind::Pass: break;
        case LineEvent::Kind::Generated:
            if (!quiet_) out_ << e.got << "\n";
            break;
        case LineEvent::Kind::Malformed: out_ << where << "malformed: " << e.message << "\n"; break;
        case LineEvent::Kind::Tolerated:
            out_ << where << e.input << "\n    tolerated (underflow before rounding): got " << e.got << "\n";
            break;
        case LineEvent::Kind::Mismatch:
            out_ << where << e.input << under << "\n";
            if (!e.expected.empty() && e.expected != e.got)
                out_ << "    expected " << e.expected << "\n    got      " << e.got << "\n";
            if (!e.message.empty()) out_ << "    " << e.message << "\n";
            break;
    }
    if (e.kind != LineEvent::Kind::Pass) out_.flush();  // before a later call can die of a trap
}

void process_stream(std::istream& in, const std::string& source, LineSink& sink, Tally& tally, bool generate) {
    const CallerEnv& env = caller_env();
    const std::string env_name = &env == &caller_envs().front() ? "" : env.name;
    std::string line;
    long n = 0, vectors = 0;
    for (;;) {
        const LineRead r = read_line(in, line);
        if (r == LineRead::End) break;
        LineEvent ev;
        ev.source = source;
        ev.line = ++n;
        ev.env = env_name;
        if (r == LineRead::Error) {
            ev.kind = LineEvent::Kind::Malformed;
            ev.message = "read error";
            ++tally.unreadable;
            sink.line(ev);
            break;
        }
        Vector v;
        std::string error;
        if (r == LineRead::TooLong) {
            error = "line longer than " + std::to_string(kMaxLineBytes) + " bytes";
        } else if (parse_vector(line, v, error) && v.fn != nullptr && !v.expected && !generate) {
            error = "no expectation ('-> RESULT FLAGS RAISE'); bare input lines are run only with --generate";
        }
        if (!error.empty()) {
            ev.kind = LineEvent::Kind::Malformed;
            ev.message = error;
            ++tally.malformed;
            ++vectors;
            sink.line(ev);
            continue;
        }
        if (v.fn == nullptr) continue;
        ++vectors;
        std::string trouble;
        Outcome got;
        {
            const CallSite site(source, n, v.input);
            got = run_vector(v, &trouble);
        }
        ev.input = v.input;
        ev.got = format_outcome(v, got).substr(v.input.size() + 1);
        ev.message = trouble;
        if (!v.expected) {
            if (!trouble.empty()) {
                ev.kind = LineEvent::Kind::Mismatch;
                ++tally.failed;
            } else {
                ev.kind = LineEvent::Kind::Generated;
                ev.got = format_outcome(v, got);
                ++tally.generated;
            }
            sink.line(ev);
            continue;
        }
        const Outcome want = expected_in_env(v, *v.expected, got, env);
        ev.expected = format_outcome(v, want).substr(v.input.size() + 1);
        if (trouble.empty() && got == want) {
            ev.kind = LineEvent::Kind::Pass;
            ++tally.passed;
        } else if (trouble.empty() && g_tolerant && tolerable_difference(v, want, got)) {
            ev.kind = LineEvent::Kind::Tolerated;
            ++tally.passed;
            ++g_tolerated;
        } else {
            ev.kind = LineEvent::Kind::Mismatch;
            ++tally.failed;
        }
        sink.line(ev);
    }
    if (in.bad() && tally.unreadable == 0) {
        LineEvent ev;
        ev.source = source;
        ev.line = n;
        ev.kind = LineEvent::Kind::Malformed;
        ev.message = "read error";
        ++tally.unreadable;
        sink.line(ev);
    } else if (vectors == 0 && tally.unreadable == 0) {
        // Nothing to check passes nothing: an empty file, or one of comments only.
        LineEvent ev;
        ev.source = source;
        ev.line = n;
        ev.env = env_name;
        ev.kind = LineEvent::Kind::Malformed;
        ev.message = "no vector lines";
        ++tally.malformed;
        sink.line(ev);
    }
}

void process_stream(std::istream& in, const std::string& source, std::ostream& out, Tally& tally,
                    bool quiet_generate, bool generate) {
    TextSink sink(out, quiet_generate);
    process_stream(in, source, sink, tally, generate);
}

void add_runner_options(Options& options, RunnerOptions& opts) {
    options.custom("--caller-env", "NAME[,NAME...]|each",
                   "run every line under each of these caller floating-point environments in turn "
                   "(each: all of this host's: " + caller_env_names() + ")",
                   [&opts](const std::string& list, std::string& error) {
                       for (std::size_t pos = 0; pos <= list.size();) {
                           const std::size_t comma = std::min(list.find(',', pos), list.size());
                           const std::string name = list.substr(pos, comma - pos);
                           pos = comma + 1;
                           if (name == "each") {
                               for (const auto& e : caller_envs()) opts.envs.push_back(&e);
                           } else if (const CallerEnv* e = find_caller_env(name)) {
                               opts.envs.push_back(e);
                           } else {
                               error = "unknown caller environment '" + name + "' (this host has: " +
                                       caller_env_names() + "; or each)";
                               return false;
                           }
                       }
                       return true;
                   });
    options.flag("--scope", opts.scope,
                 "run every file inside a device-environment scope (kalm_enter_device_env), under the selected "
                 "caller environments that keep the device's (the others are left out)");
    options.flag("--scope-check", opts.scope_check,
                 "the same in the scope's checking mode (KALM_DEVICE_ENV_CHECK=1)");
    options.flag("--generate", opts.generate,
                 "run bare input lines (no '-> ...') and print their outcome lines instead of failing them");
}

void set_scope_checking() {
#if defined(_WIN32)
    _putenv_s("KALM_DEVICE_ENV_CHECK", "1");
#else
    setenv("KALM_DEVICE_ENV_CHECK", "1", 1);
#endif
}

InScope::InScope(bool enter, const CallerEnv& env) : entered_(enter) {
    if (!entered_) return;
    write_fp_regs(env.regs);
    kalm_enter_device_env();
    restore_default_env(read_fp_regs());
}

InScope::~InScope() {
    if (entered_) kalm_leave_device_env();
}

int run_vector_files(const std::vector<std::string>& files, const RunnerOptions& opts, LineSink& sink,
                     Tally& tally, std::string& error) {
    // Files are read again under each environment; standard input, which
    // cannot be, is kept (line by line, each line bounded) when there are several.
    for (const auto& f : files) {
        if (f == "-") continue;
        struct stat st {};
        if (::stat(f.c_str(), &st) != 0) {
            error = "cannot read '" + f + "': " + std::strerror(errno);
            return 3;
        }
        if (S_ISDIR(st.st_mode)) {
            error = "cannot read '" + f + "': it is a directory";
            return 3;
        }
        std::ifstream probe(f);
        if (!probe) {
            error = "cannot read '" + f + "': " + std::strerror(errno);
            return 3;
        }
    }
    std::vector<const CallerEnv*> envs = opts.envs;
    if (envs.empty()) envs.push_back(&caller_envs().front());
    const bool scope = opts.scope || opts.scope_check;
    if (scope) {
        // Set before this thread's first scope, which reads it.
        if (opts.scope_check) set_scope_checking();
        std::erase_if(envs, [](const CallerEnv* e) { return !keeps_device_env(*e); });
    }
    std::string stdin_text;
    bool stdin_read = false;
    const std::string before = caller_env().name;
    for (const CallerEnv* env : envs) {
        set_caller_env(env->name);
        // The scope entered under the environment itself, so that its host
        // flags are those the scope holds; every call then installs the same.
        const InScope in_scope(scope, *env);
        Tally t;
        for (const auto& f : files) {
            if (f == "-") {
                if (envs.size() == 1) {
                    process_stream(std::cin, "<stdin>", sink, t, opts.generate);
                    continue;
                }
                if (!stdin_read) {
                    // Over-long lines are kept as an empty marker line of their
                    // own length limit, so that they fail again, unbuffered.
                    std::string line;
                    for (LineRead r; (r = read_line(std::cin, line)) != LineRead::End;) {
                        if (r == LineRead::Error) break;
                        if (r == LineRead::TooLong) line.assign(kMaxLineBytes + 1, ' ');
                        stdin_text += line;
                        stdin_text += '\n';
                    }
                    stdin_read = true;
                }
                std::istringstream in(stdin_text);
                process_stream(in, "<stdin>", sink, t, opts.generate);
                continue;
            }
            std::ifstream in(f);
            if (!in) {
                error = "cannot read '" + f + "': " + std::strerror(errno);
                set_caller_env(before);
                return 3;
            }
            process_stream(in, f, sink, t, opts.generate);
        }
        sink.env_done(env->name, t, envs.size() > 1);
        tally.add(t);
    }
    set_caller_env(before);
    if (tally.unreadable) {
        error = "read error";
        return 3;
    }
    return 0;
}

int exit_status(const Tally& t) {
    if (t.unreadable) return 3;
    if (t.malformed) return 2;
    return t.failed ? 1 : 0;
}

void TextSink::env_done(const std::string& env, const Tally& t, bool several) {
    if (several)
        out_ << "caller environment " << env << ": " << t.passed << " passed, " << t.failed << " failed"
             << (t.malformed ? ", " + std::to_string(t.malformed) + " malformed" : "") << "\n";
}

}  // namespace kalmtool
