// SPDX-License-Identifier: MIT
// C++: results are the device's bits; an unmasked exception arrives as a
// kalm::FpException carrying the status code and the address of our call.
#include <cinttypes>
#include <cstdio>
#include <kalmlib/kalmlib.hpp>

int main() {
    std::printf("sqrt(2)   = %.17g\n", kalm::sqrt(2.0));
    std::printf("floor(-2.5) = %g, flags %02x (inexact)\n", kalm::floor(-2.5), kalm::status() & 0x1Du);

    kalm::ScopedUnmask unmask(KALM_MASK_INVALID);  // this thread, this scope
    try {
        (void)kalm::sqrt(-1.0);
        std::puts("no exception?");
        return 1;
    } catch (const kalm::FpException& e) {
        std::printf("caught %s (0x%08X) against %#" PRIxPTR "\n", e.what(), e.status_code(), e.report_address());
    }
    return 0;
}
