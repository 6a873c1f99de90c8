/* SPDX-License-Identifier: MIT */
/* A flat image at 0x10000: the entry table first, then code and constants. */
ENTRY(guest_entries)
SECTIONS {
    . = 0x10000;
    .text : { KEEP(*(.entry)) *(.text*) *(.rodata*) *(.data*) *(.bss*) }
    /DISCARD/ : { *(.ARM.exidx*) *(.ARM.attributes) *(.comment) }
}
