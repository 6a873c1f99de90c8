// SPDX-License-Identifier: MIT
// The entry point the Windows loader calls on load and unload of kalmlib.dll.
// It reports success for every reason, as the device's did: the library sets
// nothing up (a thread's state comes into being on its first call). On an
// unload by FreeLibrary it frees the threads' state, so that no thread's exit
// calls into the unloaded code. Built into the DLL only: a program or DLL that
// links the static library keeps its own entry point.
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "host/thread_slot.hpp"
#include "kalmlib/kalmlib.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
#if defined(__x86_64__) || defined(_M_X64)
    // reserved is null for FreeLibrary, not at the process's end, when nothing needs freeing.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) kalm::lib::release_thread_slots();
#endif
    return kalm_dll_main(module, static_cast<uint32_t>(reason), reserved) ? TRUE : FALSE;
}
#endif
