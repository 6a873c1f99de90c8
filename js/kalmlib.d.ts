// SPDX-License-Identifier: MIT
// kalmlib for JavaScript: the device math library's exports in WebAssembly.
// Every export takes and returns numbers (single functions round their
// arguments to float); callBits takes and returns bit patterns. An unmasked
// exception throws a KalmFloatingPointError subclass and gives no result.

export declare const MASK_INEXACT: 0x01;
export declare const MASK_UNDERFLOW: 0x02;
export declare const MASK_OVERFLOW: 0x04;
export declare const MASK_DIVBYZERO: 0x08;
export declare const MASK_INVALID: 0x10;
export declare const MASK_ALL: 0x1f;
export declare const FLAG_INVALID: 0x01;
export declare const FLAG_OVERFLOW: 0x04;
export declare const FLAG_UNDERFLOW: 0x08;
export declare const FLAG_INEXACT: 0x10;
export declare const FLAGS_ALL: 0x1d;

/** An unmasked exception: the device's status code (0xC000008F, ...), the export and where it was reported. */
export declare class KalmFloatingPointError extends Error {
    constructor(statusCode: number, functionName: string, where: 'app' | 'lib');
    readonly statusCode: number;
    readonly functionName: string;
    /** 'app': against the caller's call; 'lib': from a call inside the library. */
    readonly where: 'app' | 'lib';
}
export declare class Inexact extends KalmFloatingPointError {}
export declare class Underflow extends KalmFloatingPointError {}
export declare class Overflow extends KalmFloatingPointError {}
export declare class DivideByZero extends KalmFloatingPointError {}
export declare class InvalidOperation extends KalmFloatingPointError {}

/** The status word; bits 0x1D are the sticky flags (FLAG_*). */
export declare function status(): number;
export declare function setStatus(word: number): void;
export declare function clearStatus(): void;
/** The control word: a set MASK_* bit masks that exception. */
export declare function controlWord(): number;
export declare function setControlWord(word: number): void;
export declare function version(): string;

export type Signature = 'd_d' | 'dd_d' | 'id_d' | 'f_f' | 'ff_f';
export interface ExportInfo {
    readonly name: string;
    readonly ordinal: number;
    readonly signature: Signature;
    readonly argWords: number;
    readonly resultWords: number;
}
export declare const exportList: readonly ExportInfo[];

/** Bits in, bits out: a bigint per double, a number (32 bits) per float, an integer for _yn's order;
 *  a bigint for a double result, a number for a float one. NaN payloads and signs are kept exactly. */
export declare function callBits(name: string, ...args: (bigint | number)[]): bigint | number;

export declare function _y0(x: number): number;
export declare function _y1(x: number): number;
export declare function _yn(n: number, x: number): number;
export declare function acos(x: number): number;
export declare function acosf(x: number): number;
export declare function asin(x: number): number;
export declare function asinf(x: number): number;
export declare function atan(x: number): number;
export declare function atan2(x: number, y: number): number;
export declare function atan2f(x: number, y: number): number;
export declare function atanf(x: number): number;
export declare function ceil(x: number): number;
export declare function ceilf(x: number): number;
export declare function cos(x: number): number;
export declare function cosf(x: number): number;
export declare function cosh(x: number): number;
export declare function coshf(x: number): number;
export declare function exp(x: number): number;
export declare function expf(x: number): number;
export declare function fabsf(x: number): number;
export declare function floor(x: number): number;
export declare function floorf(x: number): number;
export declare function fmod(x: number, y: number): number;
export declare function fmodf(x: number, y: number): number;
export declare function log(x: number): number;
export declare function log10(x: number): number;
export declare function log10f(x: number): number;
export declare function logf(x: number): number;
export declare function pow(x: number, y: number): number;
export declare function powf(x: number, y: number): number;
export declare function sin(x: number): number;
export declare function sinf(x: number): number;
export declare function sinh(x: number): number;
export declare function sinhf(x: number): number;
export declare function sqrt(x: number): number;
export declare function sqrtf(x: number): number;
export declare function tan(x: number): number;
export declare function tanf(x: number): number;
export declare function tanh(x: number): number;
export declare function tanhf(x: number): number;
