// SPDX-License-Identifier: MIT
// Windows x64: the per-thread state every export reads (control word, call
// record) in one block per thread, found through a TLS slot of the thread's
// own block (TEB) with one load. thread_local costs a call per access with
// MinGW-w64 (emulated TLS), about half the time of a short export. A thread's
// block is made on its first call (threads older than the DLL included) and
// freed when it exits.
#pragma once

#if defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64))
#include <intrin.h>

#include <cstdint>

namespace kalm::lib {

struct ThreadBlock {
    std::uint64_t call;           // tls_call
    std::uint32_t control_word;   // tls_control_word
    std::uint32_t scope;          // tls_scope
};

// The slot index plus one; 0 until the first call of any thread.
extern unsigned long g_thread_slot;
// The calling thread's block, made when it has none (and the slot when there is none).
ThreadBlock& thread_block_slow();
// Frees the slot and every thread's block: the DLL is being unloaded.
void release_thread_slots();

inline ThreadBlock& thread_block() {
    const unsigned long s = g_thread_slot;
    // TEB.TlsSlots (offset 0x1480 on x64) holds the first 64 slots.
    if (s - 1 < 64) [[likely]] {
        void* p = reinterpret_cast<void*>(__readgsqword(0x1480 + 8 * (s - 1)));
        if (p != nullptr) [[likely]]
            return *static_cast<ThreadBlock*>(p);
    }
    return thread_block_slow();
}

}  // namespace kalm::lib
#endif
