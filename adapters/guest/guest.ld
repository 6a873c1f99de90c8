/* SPDX-License-Identifier: MIT */
/* A flat image at 0x10000: the entry table (section .entry) first, then code
 * and constants; the host reads its entry points from the first words. */
SECTIONS {
    . = 0x10000;
    .text : { KEEP(*(.entry)) *(.text*) *(.rodata*) *(.data*) *(.bss*) }
    /DISCARD/ : { *(.ARM.exidx*) *(.ARM.attributes) *(.comment) }
}
