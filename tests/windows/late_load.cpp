// SPDX-License-Identifier: MIT
// kalmlib.dll loaded with LoadLibrary while a thread of the program already
// runs: that thread gets the library's per-thread state like any other (the
// default control word, its own flags, handler and control word; its first
// call leaves GetLastError alone), and the library unloads cleanly, also while
// a thread that used it lives on and exits afterwards. Exit status 0 when
// every check holds.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "kalmlib/kalmlib.h"

namespace {

int failures = 0;
void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "late_load: FAILED: %s\n", what);
        ++failures;
    }
}

struct Api {
    uint32_t (*control_word)();
    void (*set_control_word)(uint32_t);
    uint32_t (*status)();
    void (*set_raise_handler)(kalm_raise_handler, void*);
    double (*sqrt)(double);
    double (*floor)(double);
};

template <typename F>
void bind(HMODULE lib, F& f, const char* name) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
    check(f != nullptr, name);
}

struct Raised {
    uint32_t status = 0;
    uintptr_t address = 0;
};
void on_raise(uint32_t status, int, uintptr_t where, void* user) {
    static_cast<Raised*>(user)->status = status;
    static_cast<Raised*>(user)->address = where;
}

HMODULE module_of(uintptr_t addr) {
    HMODULE m = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(addr), &m);
    return m;
}

}  // namespace

int main() {
    check(GetModuleHandleA("kalmlib.dll") == nullptr, "kalmlib.dll is not loaded before LoadLibrary");
    std::atomic<int> stage{0};
    Api api{};
    bool early_ok = false;
    // Started before the library is loaded; waits for it, then uses it.
    std::thread early([&] {
        while (stage.load() < 1) Sleep(1);
        SetLastError(0x1234);
        check(api.control_word() == KALM_MASK_ALL, "early thread starts with every exception masked");
        check(GetLastError() == 0x1234, "the thread's first call leaves GetLastError as it was");
        api.set_control_word(KALM_MASK_ALL & ~KALM_MASK_INVALID);
        Raised raised;
        api.set_raise_handler(on_raise, &raised);
        const double r = api.sqrt(-1.0);
        check(r != r, "sqrt(-1) gives a NaN after the handler returns");
        check(raised.status == KALM_STATUS_FLOAT_INVALID_OPERATION, "early thread's handler sees invalid");
        check(module_of(raised.address) == GetModuleHandleA(nullptr), "reported against the program's call");
        (void)api.floor(0.5);
        const uint32_t flags = api.status() & 0x1Du;
        if (flags != KALM_FLAG_INEXACT) std::fprintf(stderr, "late_load: flags %02x\n", static_cast<unsigned>(flags));
        check(flags == KALM_FLAG_INEXACT, "early thread's flags: inexact from floor(0.5)");
        stage = 2;
        while (stage.load() < 3) Sleep(1);
        check(api.control_word() == (KALM_MASK_ALL & ~KALM_MASK_INVALID), "early thread keeps its control word");
        api.set_raise_handler(nullptr, nullptr);
        early_ok = true;
    });
    Sleep(20);
    HMODULE lib = LoadLibraryA("kalmlib.dll");
    check(lib != nullptr, "LoadLibrary(kalmlib.dll)");
    if (lib == nullptr) {
        stage = 3;
        early.detach();
        return 1;
    }
    bind(lib, api.control_word, "kalm_control_word");
    bind(lib, api.set_control_word, "kalm_set_control_word");
    bind(lib, api.status, "kalm_status");
    bind(lib, api.set_raise_handler, "kalm_set_raise_handler");
    bind(lib, api.sqrt, "kalm_sqrt");
    bind(lib, api.floor, "kalm_floor");
    if (failures != 0) return 1;
    stage = 1;
    while (stage.load() < 2) Sleep(1);
    check(api.control_word() == KALM_MASK_ALL, "main thread does not see the early thread's control word");
    check((api.status() & 0x1Du) == 0, "main thread does not see the early thread's flags");
    api.set_control_word(0);
    // A thread that uses the library and outlives it: its exit must not call into the unloaded DLL.
    std::atomic<bool> unloaded{false};
    std::thread lingering([&] {
        (void)api.floor(0.5);
        while (!unloaded.load()) Sleep(1);
    });
    stage = 3;
    early.join();
    api.set_control_word(KALM_MASK_ALL);
    check(early_ok, "early thread ran to the end");
    Sleep(20);
    check(FreeLibrary(lib) != 0, "FreeLibrary");
    check(GetModuleHandleA("kalmlib.dll") == nullptr, "kalmlib.dll unloaded");
    unloaded = true;
    lingering.join();
    if (failures == 0) std::puts("late_load: a thread started before LoadLibrary uses its own state: ok");
    return failures == 0 ? 0 : 1;
}
