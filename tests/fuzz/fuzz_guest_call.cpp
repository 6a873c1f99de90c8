// SPDX-License-Identifier: MIT
// libFuzzer target: kalm_guest_call with arbitrary ordinals, argument and
// result counts, argument words, status and control words and report
// addresses. Every call must return one of its documented codes; an error
// writes nothing; the status bits outside the sticky flags come back as they
// went in; the host thread's control word, flags and raise handler are left
// alone; and a call that completes gives the results and flags of the same
// export through kalm_call under the guest's control word (a raise, the
// status code and address kalm_call's exception carries).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kalmlib/kalmlib.hpp"

namespace {

constexpr uint32_t kSticky = 0x1Du;

void never_called(uint32_t, int, uintptr_t, void*) { __builtin_trap(); }

struct Direct {
    uint32_t res[2] = {0xAAAAAAAAu, 0xAAAAAAAAu};
    uint32_t flags = 0;
    uint32_t raised = 0;
    uintptr_t where = 0;
    int rc = 0;
};

// The export as an application calls it, in the guest's place: its control
// word, and the guest's flags for the functions that leave them.
Direct direct_call(int ordinal, const uint32_t* args, size_t nargs, uint32_t cw, uint32_t guest_flags, uint32_t ra) {
    Direct d;
    kalm_set_raise_handler(nullptr, nullptr);
    kalm_set_control_word(cw & KALM_MASK_ALL);
    kalm_set_status(guest_flags & kSticky);
    try {
        d.rc = kalm_call(ordinal, args, nargs, d.res, 2, ra);
    } catch (const kalm::FpException& e) {
        d.raised = e.status_code();
        d.where = e.report_address();
    }
    d.flags = kalm_status() & kSticky;
    kalm_set_control_word(KALM_MASK_ALL);
    kalm_clear_flags();
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 16) return 0;
    // ordinal, nargs, nresults, pointer choices, then control, status, report.
    const int ordinal = static_cast<int8_t>(data[0]) % 48;  // negative and unknown ones too
    const size_t nargs = data[1] % 7;
    const size_t nresults = data[2] % 4;
    const unsigned nulls = data[3];
    uint32_t cw, status_in, ra;
    std::memcpy(&cw, data + 4, 4);
    std::memcpy(&status_in, data + 8, 4);
    std::memcpy(&ra, data + 12, 4);
    data += 16;
    size -= 16;
    uint32_t args[6] = {0, 0, 0, 0, 0, 0};
    std::memcpy(args, data, size < sizeof args ? size : sizeof args);
    // _yn's recurrence takes up to |n| - 1 steps: keep fuzzed orders small.
    if (ordinal == 3) args[0] = static_cast<uint32_t>(static_cast<int32_t>(args[0]) % 4096);

    // The host thread: a control word, flags and a handler of its own, which
    // the call must leave alone.
    const uint32_t host_cw = 0x0Au;
    kalm_set_control_word(host_cw);
    kalm_set_raise_handler(&never_called, nullptr);
    kalm_set_status(0x14u);

    uint32_t results[4] = {0x55555555u, 0x55555555u, 0x55555555u, 0x55555555u};
    uint32_t status = status_in;
    kalm_guest_raise raise;
    std::memset(&raise, 0x77, sizeof raise);
    const kalm_guest_raise untouched = raise;
    const int rc = kalm_guest_call(ordinal, (nulls & 1) ? nullptr : args, nargs, (nulls & 2) ? nullptr : results,
                                   nresults, ra, cw, (nulls & 4) ? nullptr : &status, (nulls & 8) ? nullptr : &raise);
    if (kalm_control_word() != host_cw || (kalm_status() & kSticky) != 0x14u) __builtin_trap();
    kalm_set_raise_handler(nullptr, nullptr);
    kalm_set_control_word(KALM_MASK_ALL);
    kalm_clear_flags();

    const kalm_export* e = kalm_export_by_ordinal(ordinal);
    if (rc != KALM_OK && rc != KALM_GUEST_RAISED) {
        // An error: the documented ones, for a reason the call had, nothing written.
        const bool bad_args = e != nullptr && nargs < static_cast<size_t>(e->arg_words);
        const bool bad_results = e != nullptr && nresults < static_cast<size_t>(e->result_words);
        const bool expected = e == nullptr || bad_args || bad_results || (nulls & 15) != 0;
        if (!expected || (rc != KALM_ERR_NO_SUCH_EXPORT && rc != KALM_ERR_TOO_FEW_ARGS &&
                          rc != KALM_ERR_RESULT_SPACE && rc != KALM_ERR_NULL))
            __builtin_trap();
        if (status != status_in || results[0] != 0x55555555u || results[1] != 0x55555555u ||
            std::memcmp(&raise, &untouched, sizeof raise) != 0)
            __builtin_trap();
        return 0;
    }
    if (e == nullptr || (nulls & 15) != 0) __builtin_trap();
    if ((status & ~kSticky) != (status_in & ~kSticky)) __builtin_trap();
    if (results[2] != 0x55555555u || results[3] != 0x55555555u) __builtin_trap();

    const Direct d = direct_call(ordinal, args, nargs, cw, status_in, ra);
    if (d.rc != KALM_OK) __builtin_trap();
    if ((status & kSticky) != d.flags) __builtin_trap();
    if (rc == KALM_OK) {
        if (d.raised != 0) __builtin_trap();
        if (results[0] != d.res[0] || (e->result_words == 2 && results[1] != d.res[1])) __builtin_trap();
        if (std::memcmp(&raise, &untouched, sizeof raise) != 0) __builtin_trap();
    } else {
        // No result delivered; the raise as the application's exception shows it.
        if (results[0] != 0x55555555u || results[1] != 0x55555555u) __builtin_trap();
        if (raise.status_code != d.raised || raise.ordinal != ordinal) __builtin_trap();
        if (raise.in_library == 0 ? (raise.report_address != ra || d.where != ra || raise.internal_call != 0)
                                  : (raise.report_address != 0 || d.where == ra || raise.internal_call < 1 ||
                                     raise.internal_call > 5))
            __builtin_trap();
    }
    return 0;
}
