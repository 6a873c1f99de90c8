// SPDX-License-Identifier: MIT
// libFuzzer target: any export through the word-level table, with arbitrary
// argument words, report address and control word. Every call must finish
// without a sanitizer report, and repeating it must give the same result
// bits, flags and raise.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kalmlib/kalmlib.hpp"

namespace {

struct Outcome {
    uint32_t res[2] = {0, 0};
    uint32_t flags = 0;
    uint32_t raised = 0;
    uintptr_t where = 0;
    int rc = 0;
};

Outcome call_once(int ordinal, const uint32_t* words, size_t nwords, uint32_t cw, uintptr_t ra) {
    Outcome o;
    kalm_set_control_word(cw);
    kalm_clear_flags();
    try {
        o.rc = kalm_call(ordinal, words, nwords, o.res, 2, ra);
    } catch (const kalm::FpException& e) {
        o.raised = e.status_code();
        o.where = e.report_address();
    }
    o.flags = kalm_status() & 0x1Du;
    kalm_set_control_word(KALM_MASK_ALL);
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int ordinal = data[0] % 44;  // a few ordinals that do not exist
    const uint32_t cw = data[1] & 0x3Fu;
    data += 2;
    size -= 2;
    uint32_t words[5] = {0, 0, 0, 0, 0};
    const size_t nwords = size / 4 > 5 ? 5 : size / 4;
    std::memcpy(words, data, nwords * 4);
    uintptr_t ra = 0x10000u + (nwords ? words[0] & 0xFFFFu : 0u);
    // _yn runs its recurrence up to |n| - 1 steps (seconds for the largest
    // orders, which the unit tests cover); keep fuzzed orders small enough to
    // explore everything else.
    if (ordinal == 3) words[0] = static_cast<uint32_t>(static_cast<int32_t>(words[0]) % 4096);
    const Outcome a = call_once(ordinal, words, nwords, cw, ra);
    const Outcome b = call_once(ordinal, words, nwords, cw, ra);
    if (a.rc != b.rc || a.res[0] != b.res[0] || a.res[1] != b.res[1] || a.flags != b.flags || a.raised != b.raised ||
        a.where != b.where)
        __builtin_trap();
    if (a.raised && a.where == 0) __builtin_trap();
    return 0;
}
