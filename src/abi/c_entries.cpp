// SPDX-License-Identifier: MIT
// The C entries kalm_<stem>, one per listed export: each hands its own return
// address (the application's call) to the export entry as the report address
// (KALM_CALLER_ADDRESS: on WebAssembly, 0).
// The public headers are written by hand for their readers; the checks below
// make a header that disagrees with the list fail to compile.
#include <type_traits>

#include "abi/exports.hpp"
#include "kalmlib/kalmlib.h"
#include "kalmlib/kalmlib.hpp"

namespace {

#define KALM_CHECK_HEADERS(name, stem, sig, kind)                                                      \
    static_assert(std::is_same_v<decltype(&::kalm_##stem), KALM_SIG_RESULT(sig) (*)(KALM_SIG_PARAMS(sig))>, \
                  "kalmlib.h declares kalm_" #stem " as the export list does");                       \
    [[maybe_unused]] constexpr KALM_SIG_RESULT(sig) (*cpp_##stem)(KALM_SIG_PARAMS(sig)) = &kalm::stem;
KALM_EXPORT_LIST(KALM_CHECK_HEADERS)
#undef KALM_CHECK_HEADERS

}  // namespace

extern "C" {
#define KALM_C_ENTRY(name, stem, sig, kind)                                                  \
    KALM_API KALM_SIG_RESULT(sig) kalm_##stem(KALM_SIG_PARAMS(sig)) {                        \
        return kalm::lib::exported::name(KALM_SIG_ARGS(sig), KALM_CALLER_ADDRESS);           \
    }
KALM_EXPORT_LIST(KALM_C_ENTRY)
#undef KALM_C_ENTRY
}  // extern "C"
