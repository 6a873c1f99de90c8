// SPDX-License-Identifier: MIT
#include "batch_vectors.hpp"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <map>

#include "abi/export_list.hpp"
#include "abi/words.hpp"
#include "kalmlib/kalmlib.hpp"

namespace kalmtool {
namespace {

using D1 = int (*)(const double*, double*, std::size_t);
using F1 = int (*)(const float*, float*, std::size_t);
using D2 = int (*)(const double*, const double*, double*, std::size_t);
using F2 = int (*)(const float*, const float*, float*, std::size_t);
using DN = int (*)(int, const double*, double*, std::size_t);

struct Entry {
    D1 d1 = nullptr;
    F1 f1 = nullptr;
    D2 d2 = nullptr;
    F2 f2 = nullptr;
    DN dn = nullptr;
};
constexpr Entry entry(D1 f) { return {f, nullptr, nullptr, nullptr, nullptr}; }
constexpr Entry entry(F1 f) { return {nullptr, f, nullptr, nullptr, nullptr}; }
constexpr Entry entry(D2 f) { return {nullptr, nullptr, f, nullptr, nullptr}; }
constexpr Entry entry(F2 f) { return {nullptr, nullptr, nullptr, f, nullptr}; }
constexpr Entry entry(DN f) { return {nullptr, nullptr, nullptr, nullptr, f}; }
#define KALM_BATCH_ENTRY_ROW(name, stem, sig, kind) entry(&kalm_batch_##stem),
const Entry kEntries[] = {KALM_EXPORT_LIST(KALM_BATCH_ENTRY_ROW)};
#undef KALM_BATCH_ENTRY_ROW

// Arguments and results in the entry's own types, made before the call and
// read after it, so that the call alone runs in the caller's environment.
struct Arrays {
    const Entry* e = nullptr;
    int order = 0;
    bool in_place = false;
    std::vector<double> da, db, dy;
    std::vector<float> fa, fb, fy;
    std::size_t n = 0;

    Arrays(const kalm_export* fn, int ord, const std::uint64_t* a, const std::uint64_t* b, std::size_t count,
           bool place)
        : e(&kEntries[fn->ordinal - 1]), order(ord), in_place(place), n(count) {
        // One spare element past the end, which no call may write.
        if (e->f1 || e->f2) {
            fa.resize(n + 1);
            fb.resize(n + 1);
            fy.assign(n + 1, std::bit_cast<float>(0x7FBADBADu));
            for (std::size_t i = 0; i < n; ++i) {
                fa[i] = std::bit_cast<float>(static_cast<std::uint32_t>(a[i]));
                if (b) fb[i] = std::bit_cast<float>(static_cast<std::uint32_t>(b[i]));
            }
            if (in_place) std::copy(fa.begin(), fa.begin() + static_cast<std::ptrdiff_t>(n), fy.begin());
        } else {
            da.resize(n + 1);
            db.resize(n + 1);
            dy.assign(n + 1, std::bit_cast<double>(0x7FF4BADBADBADBADull));
            for (std::size_t i = 0; i < n; ++i) {
                da[i] = std::bit_cast<double>(a[i]);
                if (b) db[i] = std::bit_cast<double>(b[i]);
            }
            if (in_place) std::copy(da.begin(), da.begin() + static_cast<std::ptrdiff_t>(n), dy.begin());
        }
    }
    int run() {
        if (e->d1) return e->d1(in_place ? dy.data() : da.data(), dy.data(), n);
        if (e->f1) return e->f1(in_place ? fy.data() : fa.data(), fy.data(), n);
        if (e->d2) return e->d2(in_place ? dy.data() : da.data(), db.data(), dy.data(), n);
        if (e->f2) return e->f2(in_place ? fy.data() : fa.data(), fb.data(), fy.data(), n);
        return e->dn(order, in_place ? dy.data() : da.data(), dy.data(), n);
    }
    std::uint64_t result(std::size_t i) const {
        return fy.empty() ? std::bit_cast<std::uint64_t>(dy[i]) : std::bit_cast<std::uint32_t>(fy[i]);
    }
    bool spare_intact() const {
        return fy.empty() ? std::bit_cast<std::uint64_t>(dy[n]) == 0x7FF4BADBADBADBADull
                          : std::bit_cast<std::uint32_t>(fy[n]) == 0x7FBADBADu;
    }
};

void count_raise(std::uint32_t, int, std::uintptr_t, void* user) { ++*static_cast<int*>(user); }

// One batch call under `env` with every exception unmasked and a counting
// raise handler; "" when the call returned KALM_OK, left the register exactly
// as the environment set it, raised nothing and kept the control word.
std::string guarded_run(Arrays& arr, const CallerEnv& env) {
    int raised = 0;
    const std::uint32_t saved = kalm_control_word();
    kalm_set_raise_handler(&count_raise, &raised);
    kalm_set_control_word(0);
    FpRegs after = env.regs;
    int rc = KALM_OK;
    std::string thrown;
    try {
        call_in_env(env, after, [&] { rc = arr.run(); });
    } catch (const kalm::FpException& x) {
        thrown = x.what();
    }
    const std::uint32_t cw = kalm_control_word();
    kalm_set_control_word(saved);
    kalm_set_raise_handler(nullptr, nullptr);
    kalm_clear_flags();
    char buf[200];
    if (rc != KALM_OK) {
        std::snprintf(buf, sizeof buf, "returned %d", rc);
        return buf;
    }
    if (!thrown.empty()) return "threw " + thrown;
    if (raised != 0) return "called the raise handler " + std::to_string(raised) + " times";
    if (cw != 0) {
        std::snprintf(buf, sizeof buf, "left the control word at 0x%02" PRIx32, cw);
        return buf;
    }
    if (after != env.regs) {
        std::snprintf(buf, sizeof buf, "changed the register 0x%" PRIx64 " -> 0x%" PRIx64 " (%s)",
                      static_cast<std::uint64_t>(env.regs), static_cast<std::uint64_t>(after),
                      env_change(env, after).empty() ? "sticky flags" : env_change(env, after).c_str());
        return buf;
    }
    if (!arr.spare_intact()) return "wrote past the end of y";
    return "";
}

// Argument bits of a line: a, b (or 0) and _yn's order.
void line_args(const Vector& v, std::uint64_t& a, std::uint64_t& b, int& order) {
    const std::uint32_t* w = v.words.data();
    a = b = 0;
    order = 0;
    switch (v.fn->signature) {
        case KALM_SIG_D_D: a = std::bit_cast<std::uint64_t>(kalm::words::double_at(w)); break;
        case KALM_SIG_DD_D:
            a = std::bit_cast<std::uint64_t>(kalm::words::double_at(w));
            b = std::bit_cast<std::uint64_t>(kalm::words::double_at(w + 2));
            break;
        case KALM_SIG_ID_D:
            order = kalm::words::int_at(w);
            a = std::bit_cast<std::uint64_t>(kalm::words::double_at(w + 1));
            break;
        case KALM_SIG_F_F: a = w[0]; break;
        default:
            a = w[0];
            b = w[1];
            break;
    }
}

// Every _yn line in one call of kalm_batch_yn_orders (an order per element),
// whole and in place.
void check_yn_orders(const std::vector<Vector>& lines, const std::vector<std::string>& where,
                     const std::vector<std::uint64_t>& args, const CallerEnv& env, BatchTally& tally) {
    std::vector<std::size_t> idx;
    std::vector<int> orders;
    std::vector<double> x;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].fn->signature != KALM_SIG_ID_D) continue;
        std::uint64_t a = 0, b = 0;
        int order = 0;
        line_args(lines[i], a, b, order);
        idx.push_back(i);
        orders.push_back(order);
        x.push_back(std::bit_cast<double>(args[i]));
    }
    if (idx.empty()) return;
    for (const bool in_place : {false, true}) {
        // One spare element past the end, which the call may not write.
        std::vector<double> y(x.size() + 1, std::bit_cast<double>(0x7FF4BADBADBADBADull));
        if (in_place) std::copy(x.begin(), x.end(), y.begin());
        int rc = KALM_OK, raised = 0;
        const std::uint32_t saved = kalm_control_word();
        kalm_set_raise_handler(&count_raise, &raised);
        kalm_set_control_word(0);
        FpRegs after = env.regs;
        call_in_env(env, after,
                    [&] { rc = kalm_batch_yn_orders(orders.data(), in_place ? y.data() : x.data(), y.data(), x.size()); });
        const std::uint32_t cw = kalm_control_word();
        kalm_set_control_word(saved);
        kalm_set_raise_handler(nullptr, nullptr);
        kalm_clear_flags();
        ++tally.calls;
        const char* how = in_place ? "orders, in place" : "orders";
        if (rc != KALM_OK || raised != 0 || cw != 0 || after != env.regs ||
            std::bit_cast<std::uint64_t>(y.back()) != 0x7FF4BADBADBADBADull) {
            char buf[160];
            std::snprintf(buf, sizeof buf, "_yn batch (%s) under %s: returned %d, raised %d times, left the control word at 0x%02" PRIx32 "%s",
                          how, env.name, rc, raised, cw, after != env.regs ? ", changed the register" : "");
            tally.fail(where[idx.front()] + ": " + buf + " (" + std::to_string(x.size()) + " elements)");
        }
        for (std::size_t k = 0; k < idx.size(); ++k) {
            const Vector& v = lines[idx[k]];
            const std::uint64_t got = std::bit_cast<std::uint64_t>(y[k]);
            if (got == v.expected->result) continue;
            char buf[120];
            std::snprintf(buf, sizeof buf, ": batch (%s, %s) gave 0x%" PRIx64 ", the line says 0x%" PRIx64, how, env.name,
                          got, v.expected->result);
            tally.fail(where[idx[k]] + ": " + v.input + buf);
        }
    }
}

}  // namespace

int call_batch(const kalm_export* fn, int order, const std::uint64_t* a, const std::uint64_t* b, std::uint64_t* y,
               std::size_t n, bool in_place) {
    Arrays arr(fn, order, a, b, n, in_place);
    const int rc = arr.run();
    for (std::size_t i = 0; i < n; ++i) y[i] = arr.result(i);
    return rc;
}

bool read_vector_lines(const std::string& path, std::vector<Vector>& lines, std::vector<std::string>& where,
                       std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    for (long n = 1; std::getline(in, line); ++n) {
        Vector v;
        if (!parse_vector(line, v, error)) {
            error = path + ":" + std::to_string(n) + ": " + error;
            return false;
        }
        if (!v.fn || !v.expected) continue;
        lines.push_back(std::move(v));
        where.push_back(path + ":" + std::to_string(n));
    }
    return true;
}

void check_batch_lines(const std::vector<Vector>& lines, const std::vector<std::string>& where, const CallerEnv& env,
                       BatchTally& tally) {
    // The lines of one export (and of one order, for _yn), in file order.
    std::map<std::pair<int, int>, std::vector<std::size_t>> groups;
    std::vector<std::uint64_t> a(lines.size()), b(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        int order = 0;
        line_args(lines[i], a[i], b[i], order);
        groups[{lines[i].fn->ordinal, order}].push_back(i);
    }
    tally.lines += static_cast<long>(lines.size());
    for (const auto& group : groups) {
        const std::vector<std::size_t>& idx = group.second;  // (a name, not a binding: lambdas below capture it)
        const kalm_export* fn = lines[idx.front()].fn;
        const int order = group.first.second;
        const bool two = fn->signature == KALM_SIG_DD_D || fn->signature == KALM_SIG_FF_F;
        std::vector<std::uint64_t> ga, gb;
        for (std::size_t i : idx) {
            ga.push_back(a[i]);
            gb.push_back(b[i]);
        }
        // got[k]: what the batch gave line idx[k] in the current way of calling.
        std::vector<std::uint64_t> got(idx.size());
        auto compare = [&](const char* how) {
            for (std::size_t k = 0; k < idx.size(); ++k) {
                const Vector& v = lines[idx[k]];
                if (got[k] == v.expected->result) continue;
                char buf[120];
                std::snprintf(buf, sizeof buf, ": batch (%s, %s) gave 0x%" PRIx64 ", the line says 0x%" PRIx64, how,
                              env.name, got[k], v.expected->result);
                tally.fail(where[idx[k]] + ": " + v.input + buf);
            }
        };
        auto one_call = [&](std::size_t from, std::size_t count, bool in_place) {
            Arrays arr(fn, order, ga.data() + from, two ? gb.data() + from : nullptr, count, in_place);
            ++tally.calls;
            const std::string trouble = guarded_run(arr, env);
            if (!trouble.empty())
                tally.fail(where[idx[from]] + ": " + fn->name + " batch of " + std::to_string(count) + " under " +
                           env.name + ": " + trouble);
            for (std::size_t k = 0; k < count; ++k) got[from + k] = arr.result(k);
        };
        one_call(0, idx.size(), false);
        compare("whole array");
        one_call(0, idx.size(), true);
        compare("in place");
        // Pieces of 1, 2, ... 19 elements, so that every tail length of the
        // kernels is met; each in arrays of its own, whose spare element
        // catches a write past the end.
        std::vector<std::pair<std::size_t, std::size_t>> pieces;
        for (std::size_t from = 0, len = 1; from < idx.size(); from += len, len = len % 19 + 1)
            pieces.emplace_back(from, std::min(len, idx.size() - from));
        std::fill(got.begin(), got.end(), 0);
        for (const auto& [from, count] : pieces) one_call(from, count, false);
        compare("in pieces");
    }
    check_yn_orders(lines, where, a, env, tally);
}

}  // namespace kalmtool
