// SPDX-License-Identifier: MIT
// Records the first exception raised while it lives, instead of throwing;
// the call then goes on as if the exception were masked. Unmasks everything.
#pragma once

#include <cstdint>

#include "kalmlib/kalmlib.h"

namespace kalmtest {

struct RaiseRecorder {
    int code = -1;
    std::uintptr_t address = 0;
    static void handler(uint32_t, int fp_code, uintptr_t ra, void* user) {
        auto* self = static_cast<RaiseRecorder*>(user);
        if (self->code < 0) {
            self->code = fp_code;
            self->address = ra;
        }
    }
    RaiseRecorder() {
        kalm_set_raise_handler(&handler, this);
        kalm_set_control_word(0);
    }
    ~RaiseRecorder() {
        kalm_set_raise_handler(nullptr, nullptr);
        kalm_set_control_word(KALM_MASK_ALL);
    }
    RaiseRecorder(const RaiseRecorder&) = delete;
    RaiseRecorder& operator=(const RaiseRecorder&) = delete;
    void reset() {
        code = -1;
        address = 0;
    }
};

}  // namespace kalmtest
