// SPDX-License-Identifier: MIT
// Guest conformance: every line of the vector files called from compiled ARM
// guest code (guest_vectors.c) through an adapter's stub page, once with
// everything masked (result and sticky flags) and once with everything
// unmasked (first raise, reported against the guest's return address or
// inside the library).
//
//   guest_conformance --machine unicorn|dynarmic --image guest.bin FILE...
//       exit 0 when every line matches (an ARM or a Thumb guest image: the
//       entry table's addresses say which)
//   ... --expect-failures-only-in NAME
//       the negative control: exit 0 only when some lines fail and all of
//       them are NAME's (a guest built for another calling convention)
//   ... --bench N   guest calls per second of sqrt, sin and pow (N calls each),
//                   and the adapter's share of a call
#include <ctime>
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "abi/words.hpp"
#include "machine.hpp"
#include "vectors.hpp"

namespace kalmguest {

namespace {

struct Job {
    std::uint32_t fn, sig, args[4], result[2];
};
constexpr std::uint32_t kJob = kDataBase;
constexpr std::uint32_t kResultSentinel = 0xDEADBEEFu;

struct Options {
    std::string machine = "unicorn", image, expect_only_in;
    long bench = 0;
    std::vector<std::string> files;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--machine" && (v = value())) o.machine = v;
        else if (a == "--image" && (v = value())) o.image = v;
        else if (a == "--expect-failures-only-in" && (v = value())) o.expect_only_in = v;
        else if (a == "--bench" && (v = value())) o.bench = std::atol(v);
        else if (!a.empty() && a[0] != '-') o.files.push_back(a);
        else {
            std::fprintf(stderr, "guest_conformance: bad option '%s'\n", a.c_str());
            return false;
        }
    }
    if (o.image.empty()) {
        std::fprintf(stderr, "guest_conformance: --image is required\n");
        return false;
    }
    return true;
}

// The guest's entry table: the first words of the image.
std::uint32_t entry(const std::vector<std::uint8_t>& image, int i) {
    std::uint32_t w = 0;
    std::memcpy(&w, image.data() + 4 * i, 4);
    return w;
}

struct Run {
    Machine& m;
    std::uint32_t run_job;
    std::uint32_t image_end;

    bool call(const kalmtool::Vector& v, std::uint32_t control, Job& out, std::vector<Raise>& raises,
              std::string& error) {
        Job j{};
        j.fn = m.stub(v.fn->ordinal);
        j.sig = static_cast<std::uint32_t>(v.fn->signature);
        for (std::size_t i = 0; i < v.words.size() && i < 4; ++i) j.args[i] = v.words[i];
        j.result[0] = j.result[1] = kResultSentinel;
        m.write(kJob, &j, sizeof j);
        m.set_fp(0, control);
        if (!m.call(run_job, kJob, 0, error)) return false;
        m.read(kJob, &out, sizeof out);
        raises = m.take_raises();
        return true;
    }

    // A report against the application's call must carry the guest's return
    // address: just after the call instruction of run_job, in the image, with
    // the Thumb bit cleared and the caller's state told apart.
    bool at_guest_call(const Raise& r) {
        if (r.guest_address != (r.lr & ~1u) || r.guest_address < kImageBase + 4 || r.guest_address >= image_end ||
            r.thumb != static_cast<int>(r.lr & 1u))
            return false;
        std::uint32_t before = 0;
        m.read(r.guest_address - 4, &before, 4);
        if (r.thumb) {  // BL: two halfwords, 0b11110 then 0b11111
            return (before & 0xF800u) == 0xF000u && (before >> 16 & 0xF800u) == 0xF800u;
        }
        const bool bx = (before & 0x0FFFFFF0u) == 0x012FFF10u;  // BX Rm
        const bool bl = (before & 0x0F000000u) == 0x0B000000u;  // BL
        return bx || bl;
    }

    // "" when the line matches, else what differs.
    std::string check(const kalmtool::Vector& v) {
        const kalmtool::Outcome& want = *v.expected;
        Job masked{}, unmasked{};
        std::vector<Raise> r1, r2;
        std::string error;
        if (!call(v, KALM_MASK_ALL, masked, r1, error)) return "emulation failed: " + error;
        const std::uint32_t flags = m.status() & 0x1Du;
        if (!call(v, 0, unmasked, r2, error)) return "emulation failed: " + error;
        std::ostringstream d;
        const std::uint64_t got = kalm::words::result_bits(masked.result, static_cast<std::size_t>(v.fn->result_words));
        if (got != want.result) d << " result 0x" << std::hex << got << " want 0x" << want.result << std::dec;
        if (flags != want.flags) d << " flags " << std::hex << flags << " want " << want.flags << std::dec;
        if (!r1.empty()) d << " raised with everything masked";
        std::string raise = "-";
        if (!r2.empty()) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%08" PRIX32 "@%s", r2[0].record.status_code,
                          r2[0].record.in_library ? "lib" : "app");
            raise = buf;
            if (!r2[0].record.in_library && !at_guest_call(r2[0])) {
                char where[96];
                std::snprintf(where, sizeof where, " reported against 0x%08" PRIX32 " (lr 0x%08" PRIX32 ")",
                              r2[0].guest_address, r2[0].lr);
                d << where;
            }
            if (r2.size() > 1) d << " " << r2.size() << " raises in one call";
        } else {
            const std::uint64_t g2 =
                kalm::words::result_bits(unmasked.result, static_cast<std::size_t>(v.fn->result_words));
            if (g2 != want.result) d << " unmasked result 0x" << std::hex << g2 << std::dec;
        }
        if (raise != want.raise) d << " raise " << raise << " want " << want.raise;
        return d.str();
    }
};

// Seconds of this thread's CPU time: the machine is shared, and wall time
// counts the other processes' turns.
double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Guest calls per second through the adapter, for sqrt, sin and pow: the guest
// loop calling the export's stub n times, beside the same loop calling a guest
// function that returns at once (the emulator's own share) and the same calls
// made directly through kalm_guest_call. The adapter's overhead is what a call
// costs beyond the emulator's share and the bare guest call.
int bench(Machine& m, const std::vector<std::uint8_t>& image, long n) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> words;
        int plain;  // entry of the returning guest function of its signature
    };
    const Case cases[] = {
        {"sqrt", {0x00000000u, 0x40000000u}, 2},                           // 2.0
        {"sin", {0x00000000u, 0x3FF80000u}, 2},                            // 1.5
        {"pow", {0x00000000u, 0x40080000u, 0x00000000u, 0x3FF80000u}, 3},  // 3^1.5
    };
    const std::uint32_t run_loop = entry(image, 1);
    std::printf("%s: %ld calls each, thread CPU time, medians of 5 interleaved runs\n", m.name(), n);
    std::printf("%-6s %12s %9s %12s %9s %9s %9s\n", "export", "calls/s", "ns/call", "emulator ns", "adapter", "api ns",
                "adapter/api");
    for (const Case& c : cases) {
        const kalm_export* e = kalm_export_by_name(c.name);
        auto loop = [&](std::uint32_t fn, double& seconds) {
            Job j{};
            j.fn = fn;
            j.sig = static_cast<std::uint32_t>(e->signature);
            for (std::size_t i = 0; i < c.words.size(); ++i) j.args[i] = c.words[i];
            m.write(kJob, &j, sizeof j);
            m.set_fp(0, KALM_MASK_ALL);
            std::string error;
            const double t0 = cpu_seconds();
            const bool ok = m.call(run_loop, kJob, static_cast<std::uint32_t>(n), error);
            seconds = cpu_seconds() - t0;
            if (!ok) std::fprintf(stderr, "%s: %s\n", c.name, error.c_str());
            return ok;
        };
        // Medians of interleaved repetitions: the machine is shared.
        constexpr int kReps = 5;
        std::vector<double> ts, plains, apis;
        for (int rep = 0; rep < kReps; ++rep) {
            double t = 0, p = 0;
            const std::uint64_t calls0 = m.calls();
            if (!loop(m.stub(e->ordinal), t) || !loop(entry(image, c.plain), p)) return 1;
            if (m.calls() - calls0 != static_cast<std::uint64_t>(n)) {
                std::fprintf(stderr, "%s: %llu calls serviced, %ld made\n", c.name,
                             static_cast<unsigned long long>(m.calls() - calls0), n);
                return 1;
            }
            std::uint32_t status = 0, res[2];
            kalm_guest_raise raise;
            const double t1 = cpu_seconds();
            for (long i = 0; i < n; ++i)
                kalm_guest_call(e->ordinal, c.words.data(), c.words.size(), res, 2, 0x10000u, KALM_MASK_ALL, &status,
                                &raise);
            apis.push_back(cpu_seconds() - t1);
            ts.push_back(t);
            plains.push_back(p);
        }
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const double s = median(ts), plain = median(plains), api = median(apis);
        const double per = 1e9 / static_cast<double>(n);
        const double ns = s * per, emu = plain * per, api_ns = api * per, adapter = ns - emu - api_ns;
        std::printf("%-6s %12.0f %9.1f %12.1f %9.1f %9.1f %8.1fx\n", c.name, static_cast<double>(n) / s, ns, emu,
                    adapter, api_ns, adapter / api_ns);
    }
    return 0;
}

}  // namespace
}  // namespace kalmguest

int main(int argc, char** argv) {
    using namespace kalmguest;
    Options o;
    if (!parse(argc, argv, o)) return 2;
    std::unique_ptr<Machine> m = o.machine == "unicorn" ? make_unicorn() : o.machine == "dynarmic" ? make_dynarmic()
                                                                                                      : nullptr;
    if (!m) {
        std::fprintf(stderr, "guest_conformance: no machine '%s' in this build\n", o.machine.c_str());
        return 2;
    }
    const auto image = read_image(o.image);
    std::string error;
    if (!image || image->size() < 8 || !m->load(*image, error)) {
        std::fprintf(stderr, "guest_conformance: cannot load %s: %s\n", o.image.c_str(), error.c_str());
        return 2;
    }
    if (o.bench > 0) return bench(*m, *image, o.bench);

    Run run{*m, entry(*image, 0), kImageBase + static_cast<std::uint32_t>(image->size())};
    long passed = 0, failed = 0, failed_elsewhere = 0;
    for (const std::string& f : o.files) {
        std::ifstream in(f);
        if (!in) {
            std::fprintf(stderr, "guest_conformance: cannot read %s\n", f.c_str());
            return 2;
        }
        std::string text, perr;
        for (long n = 1; std::getline(in, text); ++n) {
            kalmtool::Vector v;
            if (!kalmtool::parse_vector(text, v, perr)) {
                std::fprintf(stderr, "%s:%ld: %s\n", f.c_str(), n, perr.c_str());
                return 2;
            }
            if (!v.fn || !v.expected) continue;
            const std::string d = run.check(v);
            if (d.empty()) {
                ++passed;
                continue;
            }
            ++failed;
            if (v.fn->name != o.expect_only_in) {
                ++failed_elsewhere;
                std::printf("%s:%ld: %s:%s\n", f.c_str(), n, v.input.c_str(), d.c_str());
            }
        }
    }
    std::printf("%s: %ld lines pass, %ld fail (guest calls serviced: %llu)\n", m->name(), passed, failed,
                static_cast<unsigned long long>(m->calls()));
    if (!o.expect_only_in.empty()) {
        const bool ok = failed > 0 && failed_elsewhere == 0;
        std::printf("negative control: %s (%ld %s lines fail, %ld others)\n", ok ? "caught" : "NOT caught",
                    failed - failed_elsewhere, o.expect_only_in.c_str(), failed_elsewhere);
        return ok ? 0 : 1;
    }
    return failed == 0 && passed > 0 ? 0 : 1;
}
