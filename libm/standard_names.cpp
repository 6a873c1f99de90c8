// SPDX-License-Identifier: MIT
// libkalmlib_libm: the 40 exports under the C library's names (sin ... tanhf,
// and y0, y1, yn beside _y0, _y1, _yn), so that a program keeps its calls and
// gets the device's numerics: linked before the host libm, or loaded with
// LD_PRELOAD into an unmodified binary, these names are taken from here and
// every other function (hypot, erf, ...) still from the host libm.
//
// Each entry hands its own return address, the program's call, to the word
// table as the report address, as a kalm_ entry does. The control word, the
// flags and the raise handler are libkalmlib's, one per thread, shared with a
// program that also calls the kalm_ interface. Nothing here includes
// <math.h>: its declarations (noexcept in C++) are not these definitions'.
//
// KALM_DEVICE_ENV=1 in the environment: a program that runs in the device's
// environment anyway (a port) can have each thread enter a device-environment
// scope at its first call here (and stay in it), which spares every call the
// register read. Off by default: a program that sets its own rounding still
// gets the device's bits.
#include <cstdint>
#include <cstdlib>

#include "abi/export_list.hpp"
#include "abi/words.hpp"
#include "host/bits.hpp"
#include "kalmlib/kalmlib.h"

#define KALM_STD_API extern "C" __attribute__((visibility("default"), noinline))

namespace {

using kalm::lib::report_t;
using namespace kalm::words;
namespace ord = kalm::exports::ord;

KALM_TLS bool t_env_decided KALM_TLS_IE = false;

[[gnu::cold, gnu::noinline]] void decide_device_env() {
    t_env_decided = true;
    const char* v = std::getenv("KALM_DEVICE_ENV");
    if (v != nullptr && v[0] == '1' && v[1] == '\0') kalm_enter_device_env();
}
// The variable is read once per thread, at its first call.
inline void device_env_once() {
    if (!t_env_decided) [[unlikely]]
        decide_device_env();
}

// One call through the word table, per signature. The status kalm_call
// returns is always KALM_OK here: the ordinals come from the list and the
// word counts from the signatures.
double call_D_D(int ordinal, double a, report_t ra) {
    device_env_once();
    std::uint32_t w[2], r[2];
    put(w, a);
    kalm_call(ordinal, w, 2, r, 2, ra);
    return double_at(r);
}
double call_DD_D(int ordinal, double a, double b, report_t ra) {
    device_env_once();
    std::uint32_t w[4], r[2];
    put(put(w, a), b);
    kalm_call(ordinal, w, 4, r, 2, ra);
    return double_at(r);
}
double call_ID_D(int ordinal, int n, double a, report_t ra) {
    device_env_once();
    std::uint32_t w[3], r[2];
    put(put(w, n), a);
    kalm_call(ordinal, w, 3, r, 2, ra);
    return double_at(r);
}
float call_F_F(int ordinal, float a, report_t ra) {
    device_env_once();
    std::uint32_t w[1], r[1];
    put(w, a);
    kalm_call(ordinal, w, 1, r, 1, ra);
    return float_at(r);
}
float call_FF_F(int ordinal, float a, float b, report_t ra) {
    device_env_once();
    std::uint32_t w[2], r[1];
    put(put(w, a), b);
    kalm_call(ordinal, w, 2, r, 1, ra);
    return float_at(r);
}

}  // namespace

// One entry: its own return address is the program's call.
#define KALM_STD_DEFINE(fname, stem, sig)                                      \
    KALM_STD_API KALM_SIG_RESULT(sig) fname(KALM_SIG_PARAMS(sig)) {            \
        return call_##sig(ord::stem, KALM_SIG_ARGS(sig), KALM_RETURN_ADDRESS); \
    }

// The device's names (sin, sinf, ..., _y0, _y1, _yn), and the same entries
// under the names the linker's --wrap=NAME sends a program's calls of NAME to
// (__wrap_sin for -Wl,--wrap=sin), for links that would otherwise bind the
// host's sin: static ones, which no preload reaches.
#define KALM_STD_ENTRY(name, stem, sig, kind) \
    KALM_STD_DEFINE(name, stem, sig)          \
    KALM_STD_DEFINE(__wrap_##name, stem, sig)
KALM_EXPORT_LIST(KALM_STD_ENTRY)
#undef KALM_STD_ENTRY

// The POSIX names of the Bessel functions.
KALM_STD_DEFINE(y0, y0, D_D)
KALM_STD_DEFINE(y1, y1, D_D)
KALM_STD_DEFINE(yn, yn, ID_D)
KALM_STD_DEFINE(__wrap_y0, y0, D_D)
KALM_STD_DEFINE(__wrap_y1, y1, D_D)
KALM_STD_DEFINE(__wrap_yn, yn, ID_D)
