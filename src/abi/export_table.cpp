// The export table: names, ordinals (1-40, in the byte order of the names)
// and the word-level calling convention of the device. Doubles travel as two
// 32-bit words, low word first, with no even-word alignment.
#include <cstring>

#include "common/exports.hpp"
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

// One row per built export, in ordinal order.
const Row kRows[] = {
    row("_y0", ORD_Y0, &exported::_y0),
    row("_y1", ORD_Y1, &exported::_y1),
    row("_yn", ORD_YN, &exported::_yn),
    row("acos", ORD_ACOS, &exported::acos),
    row("acosf", ORD_ACOSF, &exported::acosf),
    row("asin", ORD_ASIN, &exported::asin),
    row("asinf", ORD_ASINF, &exported::asinf),
    row("atan", ORD_ATAN, &exported::atan),
    row("atan2", ORD_ATAN2, &exported::atan2),
    row("atan2f", ORD_ATAN2F, &exported::atan2f),
    row("atanf", ORD_ATANF, &exported::atanf),
    row("ceil", ORD_CEIL, &exported::ceil),
    row("ceilf", ORD_CEILF, &exported::ceilf),
    row("cos", ORD_COS, &exported::cos),
    row("cosf", ORD_COSF, &exported::cosf),
    row("cosh", ORD_COSH, &exported::cosh),
    row("coshf", ORD_COSHF, &exported::coshf),
    row("exp", ORD_EXP, &exported::exp),
    row("expf", ORD_EXPF, &exported::expf),
    row("fabsf", ORD_FABSF, &exported::fabsf),
    row("floor", ORD_FLOOR, &exported::floor),
    row("floorf", ORD_FLOORF, &exported::floorf),
    row("fmod", ORD_FMOD, &exported::fmod),
    row("fmodf", ORD_FMODF, &exported::fmodf),
    row("log", ORD_LOG, &exported::log),
    row("log10", ORD_LOG10, &exported::log10),
    row("log10f", ORD_LOG10F, &exported::log10f),
    row("logf", ORD_LOGF, &exported::logf),
    row("pow", ORD_POW, &exported::pow),
    row("powf", ORD_POWF, &exported::powf),
    row("sin", ORD_SIN, &exported::sin),
    row("sinf", ORD_SINF, &exported::sinf),
    row("sinh", ORD_SINH, &exported::sinh),
    row("sinhf", ORD_SINHF, &exported::sinhf),
    row("sqrt", ORD_SQRT, &exported::sqrt),
    row("sqrtf", ORD_SQRTF, &exported::sqrtf),
    row("tan", ORD_TAN, &exported::tan),
    row("tanf", ORD_TANF, &exported::tanf),
    row("tanh", ORD_TANH, &exported::tanh),
    row("tanhf", ORD_TANHF, &exported::tanhf),
};

bool present(const Row& r) { return r.d_d || r.dd_d || r.id_d || r.f_f || r.ff_f; }

const Row* find_ordinal(int ordinal) {
    for (const Row& r : kRows)
        if (r.info.ordinal == ordinal && present(r)) return &r;
    return nullptr;
}

double word_double(const std::uint32_t* w) { return from_words(w[1], w[0]); }
void put_double(std::uint32_t* out, double r) {
    out[0] = lo_word(r);
    out[1] = hi_word(r);
}

}  // namespace
}  // namespace kalm::lib

using namespace kalm::lib;

extern "C" {

KALM_API size_t kalm_export_count(void) {
    size_t n = 0;
    for (const Row& r : kRows) n += present(r) ? 1 : 0;
    return n;
}

KALM_API const kalm_export* kalm_export_at(size_t index) {
    for (const Row& r : kRows) {
        if (!present(r)) continue;
        if (index == 0) return &r.info;
        --index;
    }
    return nullptr;
}

KALM_API const kalm_export* kalm_export_by_name(const char* name) {
    if (name == nullptr) return nullptr;
    for (const Row& r : kRows)
        if (present(r) && std::strcmp(r.info.name, name) == 0) return &r.info;
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
            put_double(results, r->d_d(word_double(args), ra));
            break;
        case KALM_SIG_DD_D:
            put_double(results, r->dd_d(word_double(args), word_double(args + 2), ra));
            break;
        case KALM_SIG_ID_D:
            put_double(results, r->id_d(as_signed(args[0]), word_double(args + 1), ra));
            break;
        case KALM_SIG_F_F:
            results[0] = bits(r->f_f(from_bits(args[0]), ra));
            break;
        default:
            results[0] = bits(r->ff_f(from_bits(args[0]), from_bits(args[1]), ra));
            break;
    }
    return KALM_OK;
}

KALM_API int kalm_dll_main(void*, uint32_t, void*) { return 1; }

}  // extern "C"
