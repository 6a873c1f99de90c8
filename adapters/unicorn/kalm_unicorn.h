/* SPDX-License-Identifier: MIT */
/* kalmlib for Unicorn: the 40 exports as a page of guest code.
 *
 * kalm_uc_attach maps one page of stubs at a guest address, a `bx lr` per
 * ordinal (the export with ordinal k at base + 8*k, the dynarmic adapter's
 * layout too), and hooks it: when the
 * guest reaches a stub, the hook takes the argument words from r0-r3 (and the
 * stack beyond them), calls the export with kalm_guest_call, writes r0 (and
 * r1 for a double) and lets the `bx lr` return. Bind imports by name or
 * ordinal with kalm_uc_stub / kalm_uc_stub_by_name.
 *
 * Each guest thread has its floating-point status word and control word
 * (kalm_uc_fp_state; a new one holds status 0, control word 0x1F, everything
 * masked). The emulator points the adapter at the running thread's with
 * kalm_uc_set_fp_state when it switches guest threads; its own COREDLL
 * (_controlfp, _statusfp, _clearfp) reads and writes the same struct.
 *
 * Unmasked exceptions go to the raise callback with the address the device
 * reports them against. The stubs are ARM code; a Thumb caller reaches them
 * with BX/BLX through a register (or the ARMv4T call-via-register veneer), and
 * its lr then has bit 0 set: the report address is lr with bit 0 cleared, and
 * the callback is told the caller was in Thumb state. (Link guest code as ARM
 * where it calls the stubs by name: binutils links an ARM `bl` to a Thumb
 * function through a veneer, 8 bytes in.)
 *
 * The CPU model should be UC_CPU_ARM_TI925T (an ARMv4T), set with
 * uc_ctl_set_cpu_model before any memory is mapped. Nothing here throws. */
#ifndef KALM_UNICORN_H
#define KALM_UNICORN_H

#include <stdint.h>
#include <unicorn/unicorn.h>

#include <kalmlib/kalmlib.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct kalm_uc kalm_uc;

#define KALM_UC_STUB_STRIDE 8u

typedef struct kalm_uc_fp_state {
    uint32_t status;        /* sticky flags 0x01, 0x04, 0x08, 0x10; other bits kept */
    uint32_t control_word;  /* KALM_MASK_* */
} kalm_uc_fp_state;

/* An unmasked exception. guest_address: the guest's return address (Thumb bit
 * cleared) when the export reported against its caller; for a report inside
 * the library (raise->in_library) the emulator maps (raise->ordinal,
 * raise->internal_call) into its image of the device library, and
 * guest_address is 0. On entry the guest's pc is the stub and lr its return
 * address; r0/r1 hold the arguments (no result was delivered). The callback
 * may send the guest to its exception dispatcher by writing pc (or stop it
 * with uc_emu_stop); if it does neither, the guest goes on at its return
 * address with r0/r1 as they were. Without a callback the adapter stops the
 * emulation, as an unhandled exception ended the device's program. */
typedef void (*kalm_uc_raise_fn)(uc_engine *uc, const kalm_guest_raise *raise, uint32_t guest_address, int thumb,
                                 void *user);

/* Maps 4 KiB at stub_base (page-aligned, not yet mapped) and hooks it.
 * Returns NULL on failure (the Unicorn error in *err when err is not NULL). */
kalm_uc *kalm_uc_attach(uc_engine *uc, uint32_t stub_base, uc_err *err);
void kalm_uc_detach(kalm_uc *a); /* removes the hook and unmaps the page */

uint32_t kalm_uc_stub(const kalm_uc *a, int ordinal);            /* 0 for an unknown ordinal */
uint32_t kalm_uc_stub_by_name(const kalm_uc *a, const char *name); /* 0 for an unknown name */

void kalm_uc_set_raise_callback(kalm_uc *a, kalm_uc_raise_fn fn, void *user);
/* The running guest thread's state (NULL: the adapter's own, the default). */
void kalm_uc_set_fp_state(kalm_uc *a, kalm_uc_fp_state *state);
kalm_uc_fp_state *kalm_uc_get_fp_state(kalm_uc *a);

uint64_t kalm_uc_calls(const kalm_uc *a); /* guest calls serviced */

#ifdef __cplusplus
}
#endif

#endif /* KALM_UNICORN_H */
