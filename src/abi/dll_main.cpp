// SPDX-License-Identifier: MIT
// The entry point the Windows loader calls on load and unload of kalmlib.dll.
// The library keeps no state of its own to set up or release (its per-thread
// state comes into being on a thread's first call), so it reports success for
// every reason, as the device's did. Built into the DLL only: a program or DLL
// that links the static library keeps its own entry point.
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "kalmlib/kalmlib.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    return kalm_dll_main(module, static_cast<uint32_t>(reason), reserved) ? TRUE : FALSE;
}
#endif
