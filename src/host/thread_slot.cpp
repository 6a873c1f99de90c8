// SPDX-License-Identifier: MIT
// Windows x64: the per-thread blocks of thread_slot.hpp. The TLS slot gives the
// fast lookup; a fiber-local (FLS) slot holding the same pointer frees the block
// when its thread exits, in the DLL and in a program that links the library
// statically alike. GetLastError is left as the caller had it.
#include "host/thread_slot.hpp"

#if defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64))
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kalm::lib {

unsigned long g_thread_slot = 0;

namespace {

DWORD g_fls_slot = FLS_OUT_OF_INDEXES;
INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;

void WINAPI free_block(void* block) {
    if (block != nullptr) {
        TlsSetValue(g_thread_slot - 1, nullptr);
        HeapFree(GetProcessHeap(), 0, block);
    }
}

BOOL CALLBACK make_slots(PINIT_ONCE, void*, void**) {
    const DWORD tls = TlsAlloc();
    const DWORD fls = FlsAlloc(free_block);
    if (tls == TLS_OUT_OF_INDEXES || fls == FLS_OUT_OF_INDEXES) return FALSE;
    g_fls_slot = fls;
    // Published last: a thread that sees it sees the slots made.
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&g_thread_slot), static_cast<LONG>(tls + 1));
    return TRUE;
}

}  // namespace

ThreadBlock& thread_block_slow() {
    const DWORD saved_error = GetLastError();
    if (!InitOnceExecuteOnce(&g_once, make_slots, nullptr, nullptr)) {
        // No slot to be had: the process is out of TLS indexes.
        FatalAppExitA(0, "kalmlib: no thread-local storage index left");
    }
    const DWORD slot = g_thread_slot - 1;
    auto* block = static_cast<ThreadBlock*>(TlsGetValue(slot));
    if (block == nullptr) {
        block = static_cast<ThreadBlock*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ThreadBlock)));
        if (block == nullptr) FatalAppExitA(0, "kalmlib: out of memory for a thread's state");
        block->call = 0;
        block->control_word = 0x1Fu;  // every exception masked
        block->scope = 0;
        TlsSetValue(slot, block);
        FlsSetValue(g_fls_slot, block);
    }
    SetLastError(saved_error);
    return *block;
}

void release_thread_slots() {
    if (g_thread_slot == 0) return;
    // FlsFree runs free_block for the blocks still held, so no thread exit
    // calls into the unloaded DLL afterwards.
    FlsFree(g_fls_slot);
    TlsFree(g_thread_slot - 1);
    g_thread_slot = 0;
}

}  // namespace kalm::lib
#endif
