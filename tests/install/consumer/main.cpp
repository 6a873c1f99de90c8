// SPDX-License-Identifier: MIT
// A project that takes kalmlib from an installed tree.
#include <kalmlib/kalmlib.hpp>

int main() {
    const double r = kalm::sqrt(2.0);
    const kalm_export* e = kalm_export_by_name("sqrt");
    return (r > 1.41421356 && r < 1.41421357 && e && e->ordinal == 35) ? 0 : 1;
}
