// SPDX-License-Identifier: MIT
// The WebAssembly module behind the JavaScript package: the library's C
// entries and word table, plus what JavaScript cannot do across the boundary
// itself. A raise is caught by a C raise handler (JavaScript cannot catch a
// C++ exception thrown inside the module): the first one of a call is kept and
// the rest of the call runs masked, so nothing is reported twice; the package
// then throws a JavaScript error and drops the result. Words travel through
// fixed buffers in linear memory, so NaN bits never pass through a JavaScript
// number.
#include <kalmlib/kalmlib.h>
#include <stdint.h>

#include <emscripten/emscripten.h>

// kalm_js_call reports an exception of the export itself against this
// address; any other address comes from inside the library (the C entries'
// own report address is 0 there, see docs/wasm.md).
static const char app_site = 0;

typedef struct {
    uint32_t raised;  // first word: what the package reads after every call
    uint32_t status_code;
    int32_t fp_code;
    int32_t in_library;
    uint32_t control_word;  // the thread's control word when it was raised
} pending_raise;

static pending_raise pending;
static uint32_t words[4];
static uint32_t results[2];

static void on_raise(uint32_t code, int fp_code, uintptr_t address, void *user) {
    pending_raise *p = (pending_raise *)user;
    if (p->raised) return;
    p->raised = 1;
    p->status_code = code;
    p->fp_code = fp_code;
    p->in_library = address != (uintptr_t)&app_site && address != 0;
    p->control_word = kalm_control_word();
    kalm_set_control_word(KALM_MASK_ALL);
}

EMSCRIPTEN_KEEPALIVE void *kalm_js_pending(void) { return &pending; }
EMSCRIPTEN_KEEPALIVE uint32_t *kalm_js_words(void) { return words; }
EMSCRIPTEN_KEEPALIVE uint32_t *kalm_js_results(void) { return results; }

EMSCRIPTEN_KEEPALIVE void kalm_js_init(void) { kalm_set_raise_handler(on_raise, &pending); }

// After a raise: the control word back as the caller had it, the record clear.
EMSCRIPTEN_KEEPALIVE void kalm_js_done(void) {
    if (pending.raised) kalm_set_control_word(pending.control_word);
    pending.raised = 0;
}

// One call through the word table: the words in `words`, the result in `results`.
EMSCRIPTEN_KEEPALIVE int kalm_js_call(int ordinal, int nargs) {
    return kalm_call(ordinal, words, (size_t)nargs, results, 2, (uintptr_t)&app_site);
}
