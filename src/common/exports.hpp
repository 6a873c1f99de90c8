// Every export in its report-address form: NAME(args..., ra). The plain C
// entries pass their own return address; inner entries, the word-level table
// and emulators pass the address to report against.
#pragma once

#include "common/bits.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {

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

// exp's and log's entries for callers that have just cleared the flags themselves and done
// no arithmetic since: the clearing would find nothing to clear.
double exp_cleared(double x, report_t ra);
double log_cleared(double x, report_t ra);

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
