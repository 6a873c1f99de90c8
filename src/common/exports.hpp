// Every export in its report-address form: NAME(args..., ra).
//   exported::NAME  the export entry: the caller's floating-point environment
//                   set aside for the device's and given back on return. The C
//                   entries (their own return address) and the word-level table
//                   (the address it is handed) call these.
//   NAME            the entry library code calls (inner entries, calls at an
//                   export entry): it runs in the environment already set.
//   NAME_cleared    a framed routine after its entry clearing, for callers that
//                   have just cleared the flags themselves.
#pragma once

#include <cstdint>

#include "common/bits.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {

// Ordinals: the byte order of the names.
enum Ordinal : std::uint32_t {
    ORD_Y0 = 1, ORD_Y1, ORD_YN, ORD_ACOS, ORD_ACOSF, ORD_ASIN, ORD_ASINF, ORD_ATAN, ORD_ATAN2, ORD_ATAN2F,
    ORD_ATANF, ORD_CEIL, ORD_CEILF, ORD_COS, ORD_COSF, ORD_COSH, ORD_COSHF, ORD_EXP, ORD_EXPF, ORD_FABSF,
    ORD_FLOOR, ORD_FLOORF, ORD_FMOD, ORD_FMODF, ORD_LOG, ORD_LOG10, ORD_LOG10F, ORD_LOGF, ORD_POW, ORD_POWF,
    ORD_SIN, ORD_SINF, ORD_SINH, ORD_SINHF, ORD_SQRT, ORD_SQRTF, ORD_TAN, ORD_TANF, ORD_TANH, ORD_TANHF,
};

// Framed routines after their entry clearing.
double _y0_cleared(double x, report_t ra);
double _y1_cleared(double x, report_t ra);
double _yn_cleared(int n, double x, report_t ra);
double acos_cleared(double x, report_t ra);
double asin_cleared(double x, report_t ra);
double atan_cleared(double x, report_t ra);
double atan2_cleared(double y, double x, report_t ra);
double cos_cleared(double x, report_t ra);
double cosh_cleared(double x, report_t ra);
double exp_cleared(double x, report_t ra);
double fmod_cleared(double x, double y, report_t ra);
float fmodf_cleared(float x, float y, report_t ra);
double log_cleared(double x, report_t ra);
double log10_cleared(double x, report_t ra);
double pow_cleared(double x, double y, report_t ra);
double sin_cleared(double x, report_t ra);
double sinh_cleared(double x, report_t ra);
double sqrt_cleared(double x, report_t ra);
float sqrtf_cleared(float x, report_t ra);
double tan_cleared(double x, report_t ra);
double tanh_cleared(double x, report_t ra);

// The entries library code calls.
inline double _y0(double x, report_t ra) { fp_clear_flags(); return _y0_cleared(x, ra); }
inline double _y1(double x, report_t ra) { fp_clear_flags(); return _y1_cleared(x, ra); }
inline double _yn(int n, double x, report_t ra) { fp_clear_flags(); return _yn_cleared(n, x, ra); }
inline double acos(double x, report_t ra) { fp_clear_flags(); return acos_cleared(x, ra); }
inline double asin(double x, report_t ra) { fp_clear_flags(); return asin_cleared(x, ra); }
inline double atan(double x, report_t ra) { fp_clear_flags(); return atan_cleared(x, ra); }
inline double atan2(double y, double x, report_t ra) { fp_clear_flags(); return atan2_cleared(y, x, ra); }
inline double cos(double x, report_t ra) { fp_clear_flags(); return cos_cleared(x, ra); }
inline double cosh(double x, report_t ra) { fp_clear_flags(); return cosh_cleared(x, ra); }
inline double exp(double x, report_t ra) { fp_clear_flags(); return exp_cleared(x, ra); }
inline double fmod(double x, double y, report_t ra) { fp_clear_flags(); return fmod_cleared(x, y, ra); }
inline float fmodf(float x, float y, report_t ra) { fp_clear_flags(); return fmodf_cleared(x, y, ra); }
inline double log(double x, report_t ra) { fp_clear_flags(); return log_cleared(x, ra); }
inline double log10(double x, report_t ra) { fp_clear_flags(); return log10_cleared(x, ra); }
inline double pow(double x, double y, report_t ra) { fp_clear_flags(); return pow_cleared(x, y, ra); }
inline double sin(double x, report_t ra) { fp_clear_flags(); return sin_cleared(x, ra); }
inline double sinh(double x, report_t ra) { fp_clear_flags(); return sinh_cleared(x, ra); }
inline double sqrt(double x, report_t ra) { fp_clear_flags(); return sqrt_cleared(x, ra); }
inline float sqrtf(float x, report_t ra) { fp_clear_flags(); return sqrtf_cleared(x, ra); }
inline double tan(double x, report_t ra) { fp_clear_flags(); return tan_cleared(x, ra); }
inline double tanh(double x, report_t ra) { fp_clear_flags(); return tanh_cleared(x, ra); }
double ceil(double x, report_t ra);
float ceilf(float x, report_t ra);
double floor(double x, report_t ra);
float floorf(float x, report_t ra);
float fabsf(float x, report_t ra);
// The unframed single functions.
float acosf(float x, report_t ra);
float asinf(float x, report_t ra);
float atan2f(float y, float x, report_t ra);
float atanf(float x, report_t ra);
float cosf(float x, report_t ra);
float coshf(float x, report_t ra);
float expf(float x, report_t ra);
float log10f(float x, report_t ra);
float logf(float x, report_t ra);
float powf(float x, float y, report_t ra);
float sinf(float x, report_t ra);
float sinhf(float x, report_t ra);
float tanf(float x, report_t ra);
float tanhf(float x, report_t ra);

namespace exported {
double _y0(double x, report_t ra);
double _y1(double x, report_t ra);
double _yn(int n, double x, report_t ra);
double acos(double x, report_t ra);
float acosf(float x, report_t ra);
double asin(double x, report_t ra);
float asinf(float x, report_t ra);
double atan(double x, report_t ra);
double atan2(double y, double x, report_t ra);
float atan2f(float y, float x, report_t ra);
float atanf(float x, report_t ra);
double ceil(double x, report_t ra);
float ceilf(float x, report_t ra);
double cos(double x, report_t ra);
float cosf(float x, report_t ra);
double cosh(double x, report_t ra);
float coshf(float x, report_t ra);
double exp(double x, report_t ra);
float expf(float x, report_t ra);
float fabsf(float x, report_t ra);
double floor(double x, report_t ra);
float floorf(float x, report_t ra);
double fmod(double x, double y, report_t ra);
float fmodf(float x, float y, report_t ra);
double log(double x, report_t ra);
double log10(double x, report_t ra);
float log10f(float x, report_t ra);
float logf(float x, report_t ra);
double pow(double x, double y, report_t ra);
float powf(float x, float y, report_t ra);
double sin(double x, report_t ra);
float sinf(float x, report_t ra);
double sinh(double x, report_t ra);
float sinhf(float x, report_t ra);
double sqrt(double x, report_t ra);
float sqrtf(float x, report_t ra);
double tan(double x, report_t ra);
float tanf(float x, report_t ra);
double tanh(double x, report_t ra);
float tanhf(float x, report_t ra);
}  // namespace exported

// Export entries called by library code: the report address is the call site
// inside the calling routine, as for any call at an export entry.
double floor_at_export(double x);
float floorf_at_export(float x);
// fabsf can raise nothing, so its report address never matters: done in place,
// clearing the flags as its entry does.
inline float fabsf_at_export(float x) {
    fp_clear_flags();
    return masked(x, 0x7FFFFFFFu);
}
// expf, logf and atanf called from other single functions at their export entry
// are unframed, so they are plain calls: expf(x, ra) with the caller's ra.

}  // namespace kalm::lib
