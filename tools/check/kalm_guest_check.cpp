// SPDX-License-Identifier: MIT
// kalm_guest_check FILE...: every vector line through kalm_guest_call, the
// emulators' entry, on any host (the cross test runs it under qemu, where the
// guest call takes its portable path): masked for result and flags, from a
// guest with clear and with set sticky flags; unmasked for the first raise,
// which delivers no result and carries the guest's address unless it comes
// from inside the library. The host's register must come back exactly as it
// was, its sticky flags included. Exit 0 when every line matches.
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <string>

#include "abi/export_list.hpp"
#include "abi/words.hpp"
#include "vectors.hpp"

namespace {

constexpr std::uint32_t kLr = 0x00012344u, kSentinel = 0xDEADBEEFu, kOther = 0xA5A50F02u;

struct Got {
    int rc;
    std::uint32_t res[2], status;
    kalm_guest_raise raise;
};

Got call(const kalmtool::Vector& v, std::uint32_t control, std::uint32_t status) {
    Got g{};
    g.res[0] = g.res[1] = kSentinel;
    g.status = status;
    g.rc = kalm_guest_call(v.fn->ordinal, v.words.data(), v.words.size(), g.res, 2, kLr, control, &g.status,
                           &g.raise);
    return g;
}

// "" when the line's outcome holds, else what differs.
std::string check(const kalmtool::Vector& v) {
    const kalmtool::Outcome& want = *v.expected;
    const auto words = static_cast<std::size_t>(v.fn->result_words);
    const bool leaves = kalm::exports::kinds[v.fn->ordinal - 1] == kalm::exports::Kind::UNFRAMED;
    char buf[160];
    for (const std::uint32_t preset : {0x00u, 0x1Du}) {
        // The host's sticky flags set, so that a call which leaves them changed shows.
        kalm_set_status(0x15u);
        const kalmtool::FpRegs before = kalmtool::read_fp_regs();
        const Got m = call(v, KALM_MASK_ALL, kOther | preset);
        const Got u = call(v, 0u, kOther | preset);
        const kalmtool::FpRegs after = kalmtool::read_fp_regs();
        kalm_clear_flags();
        if (after != before) {
            std::snprintf(buf, sizeof buf, "host register 0x%" PRIx64 " -> 0x%" PRIx64, static_cast<std::uint64_t>(before),
                          static_cast<std::uint64_t>(after));
            return buf;
        }
        const std::uint64_t r = kalm::words::result_bits(m.res, words);
        const std::uint32_t flags = m.status & 0x1Du;
        const bool flags_ok = flags == want.flags || (preset && leaves && flags == (want.flags | preset));
        std::string raise = "-";
        if (u.rc == KALM_GUEST_RAISED) {
            std::snprintf(buf, sizeof buf, "%08" PRIX32 "@%s", u.raise.status_code, u.raise.in_library ? "lib" : "app");
            raise = buf;
        }
        const bool raise_ok =
            raise == want.raise &&
            (u.rc == KALM_OK ? kalm::words::result_bits(u.res, words) == want.result
                             : u.res[0] == kSentinel && (u.raise.in_library ? u.raise.report_address == 0u &&
                                                                                  u.raise.internal_call != 0
                                                                            : u.raise.report_address == kLr));
        if (m.rc != KALM_OK || r != want.result || !flags_ok || (m.status & ~0x1Du) != kOther ||
            (u.status & ~0x1Du) != kOther || !raise_ok) {
            std::snprintf(buf, sizeof buf, "guest preset %02x: rc %d result 0x%" PRIx64 " flags %02x raise %s",
                          static_cast<unsigned>(preset), m.rc, r, static_cast<unsigned>(flags), raise.c_str());
            return buf;
        }
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    long passed = 0, failed = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i]);
        if (!in) {
            std::fprintf(stderr, "kalm_guest_check: cannot read %s\n", argv[i]);
            return 2;
        }
        std::string line, error;
        for (long n = 1; std::getline(in, line); ++n) {
            kalmtool::Vector v;
            if (!kalmtool::parse_vector(line, v, error)) {
                std::fprintf(stderr, "%s:%ld: %s\n", argv[i], n, error.c_str());
                return 2;
            }
            if (!v.fn || !v.expected) continue;
            const std::string d = check(v);
            if (d.empty()) {
                ++passed;
            } else {
                ++failed;
                std::printf("%s:%ld: %s: %s\n", argv[i], n, v.input.c_str(), d.c_str());
            }
        }
    }
    std::printf("guest calls: %ld lines pass, %ld fail\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}
