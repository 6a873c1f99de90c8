// SPDX-License-Identifier: MIT
// The export table: names, ordinals (1-40, in the byte order of the names)
// and the word-level calling convention of the device. Doubles travel as two
// 32-bit words, low word first, with no even-word alignment.
#include <cstring>
#include <iterator>

#include "abi/exports.hpp"
#include "abi/words.hpp"
#include "kalmlib/kalmlib.h"

namespace kalm::lib {

// Every export is referenced here, so a static link pulls in all 40.

namespace {

using FnDD = double (*)(double, report_t);
using FnDDD = double (*)(double, double, report_t);
using FnIDD = double (*)(int, double, report_t);
using FnFF = float (*)(float, report_t);
using FnFFF = float (*)(float, float, report_t);

struct Row {
    kalm_export info;
    FnDD d_d = nullptr;
    FnDDD dd_d = nullptr;
    FnIDD id_d = nullptr;
    FnFF f_f = nullptr;
    FnFFF ff_f = nullptr;
};

constexpr Row row(const char* name, int ordinal, FnDD f) { return {{name, ordinal, KALM_SIG_D_D, 2, 2}, f}; }
constexpr Row row(const char* name, int ordinal, FnDDD f) {
    return {{name, ordinal, KALM_SIG_DD_D, 4, 2}, nullptr, f};
}
constexpr Row row(const char* name, int ordinal, FnIDD f) {
    return {{name, ordinal, KALM_SIG_ID_D, 3, 2}, nullptr, nullptr, f};
}
constexpr Row row(const char* name, int ordinal, FnFF f) {
    return {{name, ordinal, KALM_SIG_F_F, 1, 1}, nullptr, nullptr, nullptr, f};
}
constexpr Row row(const char* name, int ordinal, FnFFF f) {
    return {{name, ordinal, KALM_SIG_FF_F, 2, 1}, nullptr, nullptr, nullptr, nullptr, f};
}

// One row per export, in ordinal order.
#define KALM_ROW(name, stem, sig, kind) row(#name, ord::stem, &exported::name),
constexpr Row kRows[] = {KALM_EXPORT_LIST(KALM_ROW)};
#undef KALM_ROW

// Each row's signature is the one the list gives, and row i holds ordinal i + 1.
#define KALM_SIG_OF(name, stem, sig, kind) KALM_SIG_##sig,
constexpr int kListedSignature[] = {KALM_EXPORT_LIST(KALM_SIG_OF)};
#undef KALM_SIG_OF
constexpr bool rows_match_list() {
    for (std::size_t i = 0; i < std::size(kRows); ++i)
        if (kRows[i].info.ordinal != static_cast<int>(i + 1) || kRows[i].info.signature != kListedSignature[i])
            return false;
    return std::size(kRows) == kalm::exports::count;
}
static_assert(rows_match_list());

const Row* find_ordinal(int ordinal) {
    if (ordinal < 1 || ordinal > static_cast<int>(std::size(kRows))) return nullptr;
    return &kRows[ordinal - 1];
}

}  // namespace
}  // namespace kalm::lib

using namespace kalm::lib;
using namespace kalm::words;

extern "C" {

KALM_API size_t kalm_export_count(void) { return std::size(kRows); }

KALM_API const kalm_export* kalm_export_at(size_t index) {
    return index < std::size(kRows) ? &kRows[index].info : nullptr;
}

KALM_API const kalm_export* kalm_export_by_name(const char* name) {
    if (name == nullptr) return nullptr;
    for (const Row& r : kRows)
        if (std::strcmp(r.info.name, name) == 0) return &r.info;
    return nullptr;
}

KALM_API const kalm_export* kalm_export_by_ordinal(int ordinal) {
    const Row* r = find_ordinal(ordinal);
    return r ? &r->info : nullptr;
}

KALM_API int kalm_call(int ordinal, const uint32_t* args, size_t nargs, uint32_t* results, size_t nresults,
                       uintptr_t ra) {
    const Row* r = find_ordinal(ordinal);
    if (r == nullptr) return KALM_ERR_NO_SUCH_EXPORT;
    if (nargs < static_cast<size_t>(r->info.arg_words)) return KALM_ERR_TOO_FEW_ARGS;
    if (nresults < static_cast<size_t>(r->info.result_words)) return KALM_ERR_RESULT_SPACE;
    if (args == nullptr || results == nullptr) return KALM_ERR_NULL;
    switch (r->info.signature) {
        case KALM_SIG_D_D:
            put(results, r->d_d(double_at(args), ra));
            break;
        case KALM_SIG_DD_D:
            put(results, r->dd_d(double_at(args), double_at(args + 2), ra));
            break;
        case KALM_SIG_ID_D:
            put(results, r->id_d(int_at(args), double_at(args + 1), ra));
            break;
        case KALM_SIG_F_F:
            put(results, r->f_f(float_at(args), ra));
            break;
        default:
            put(results, r->ff_f(float_at(args), float_at(args + 1), ra));
            break;
    }
    return KALM_OK;
}

KALM_API int kalm_dll_main(void*, uint32_t, void*) { return 1; }

// The header's version, compiled in: what a program loaded, whatever header it saw.
KALM_API const char* kalm_version(void) { return KALM_VERSION_STRING; }

}  // extern "C"
