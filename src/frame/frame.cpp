// Raising: one exception per exit check or direct report, chosen by code and
// delivered only when the calling thread's control word leaves it unmasked.
#include "frame/frame.hpp"

namespace kalm::lib {

double fp_raise(FpExceptionCode code, report_t ra, double r) {
    if (control_word() & fp_mask_bit[code]) [[likely]]
        return r;
    raise_service(code, ra);
    return r;  // a handler that returns continues as if masked
}

float fp_raise(FpExceptionCode code, report_t ra, float r) {
    if (control_word() & fp_mask_bit[code]) [[likely]]
        return r;
    raise_service(code, ra);
    return r;
}

}  // namespace kalm::lib
