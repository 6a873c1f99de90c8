// SPDX-License-Identifier: MIT
// kalmlib for JavaScript: the device math library's 40 exports, compiled to
// WebAssembly, with its sticky flags, its control word and its raises, the
// same bits under every engine. An ES module with no dependencies; it loads
// its .wasm (beside this file) once, when first imported.
//
//   import * as kalm from 'kalmlib';
//   kalm.sin(1);                         // a number, as Math.sin
//   kalm.callBits('sin', 0x7ff8000000000001n);  // bits in, bits out (NaN payloads kept)
//   kalm.setControlWord(kalm.MASK_ALL & ~kalm.MASK_INVALID);
//   try { kalm.sqrt(-1); } catch (e) { e instanceof kalm.InvalidOperation; e.statusCode; e.where; }
import createKalmModule from './kalmlib_wasm.js';

// The module's bytes: read from disk under node (file: URLs), fetched
// elsewhere. The glue is never left to find them itself: Emscripten 3.1.6's
// own loader tries fetch() on file paths under node 18 and later.
async function wasmBytes() {
    const url = new URL('./kalmlib_wasm.wasm', import.meta.url);
    if (url.protocol === 'file:') {
        const { readFile } = await import('node:fs/promises');
        return new Uint8Array(await readFile(url));
    }
    const response = await fetch(url);
    if (!response.ok) throw new Error(`kalmlib: cannot load ${url}: ${response.status}`);
    return new Uint8Array(await response.arrayBuffer());
}

const M = await createKalmModule({ wasmBinary: await wasmBytes() });
M._kalm_js_init();
// Fixed memory (no growth), so these views stay valid.
const U32 = new Uint32Array(M.HEAPU8.buffer);
const PENDING = M._kalm_js_pending() >>> 2;  // raised, status code, fp code, in library
const WORDS = M._kalm_js_words() >>> 2;
const RESULTS = M._kalm_js_results() >>> 2;

export const MASK_INEXACT = 0x01;
export const MASK_UNDERFLOW = 0x02;
export const MASK_OVERFLOW = 0x04;
export const MASK_DIVBYZERO = 0x08;
export const MASK_INVALID = 0x10;
export const MASK_ALL = 0x1f;
export const FLAG_INVALID = 0x01;
export const FLAG_OVERFLOW = 0x04;
export const FLAG_UNDERFLOW = 0x08;
export const FLAG_INEXACT = 0x10;
export const FLAGS_ALL = 0x1d;

const STATUS_NAMES = {
    0xc000008f: 'STATUS_FLOAT_INEXACT_RESULT',
    0xc0000093: 'STATUS_FLOAT_UNDERFLOW',
    0xc0000091: 'STATUS_FLOAT_OVERFLOW',
    0xc000008e: 'STATUS_FLOAT_DIVIDE_BY_ZERO',
    0xc0000090: 'STATUS_FLOAT_INVALID_OPERATION',
};

// An unmasked exception: the device's status code, the export called, and
// where it was reported: "app" (against the caller's call) or "lib" (a call
// inside the library, as the device reported it from there).
export class KalmFloatingPointError extends Error {
    constructor(statusCode, functionName, where) {
        const hex = statusCode.toString(16).toUpperCase().padStart(8, '0');
        super(`${STATUS_NAMES[statusCode] ?? 'STATUS'} (0x${hex}) in ${functionName}, reported ${where === 'lib' ? 'inside the library' : 'against the call'}`);
        this.name = new.target.name;
        this.statusCode = statusCode;
        this.functionName = functionName;
        this.where = where;
    }
}
export class Inexact extends KalmFloatingPointError {}
export class Underflow extends KalmFloatingPointError {}
export class Overflow extends KalmFloatingPointError {}
export class DivideByZero extends KalmFloatingPointError {}
export class InvalidOperation extends KalmFloatingPointError {}
const BY_FP_CODE = [Inexact, Underflow, Overflow, DivideByZero, InvalidOperation];

function throwPending(name) {
    const code = U32[PENDING + 1];
    const Cls = BY_FP_CODE[U32[PENDING + 2]] ?? KalmFloatingPointError;
    const where = U32[PENDING + 3] ? 'lib' : 'app';
    M._kalm_js_done();
    throw new Cls(code, name, where);
}

// The thread's status word (bits 0x1D are the sticky flags) and control word.
export function status() { return M._kalm_status() >>> 0; }
export function setStatus(word) { M._kalm_set_status(word >>> 0); }
export function clearStatus() { M._kalm_clear_flags(); }
export function controlWord() { return M._kalm_control_word() >>> 0; }
export function setControlWord(word) { M._kalm_set_control_word(word >>> 0); }
export function version() { return M.UTF8ToString(M._kalm_version()); }

// The library's own table: name, ordinal, signature, argument and result words.
const SIG = { 1: 'd_d', 2: 'dd_d', 3: 'id_d', 4: 'f_f', 5: 'ff_f' };
const table = new Map();
for (let i = 0, n = M._kalm_export_count(); i < n; i++) {
    const p = M._kalm_export_at(i) >>> 2;
    const e = {
        name: M.UTF8ToString(U32[p]), ordinal: U32[p + 1], signature: SIG[U32[p + 2]],
        argWords: U32[p + 3], resultWords: U32[p + 4],
    };
    table.set(e.name, Object.freeze(e));
}
// Every export: name, ordinal, signature ('d_d', 'dd_d', 'id_d', 'f_f', 'ff_f').
export const exportList = Object.freeze([...table.values()]);

const LO = 0xffffffffn;
function putDouble(i, bits) {
    const b = BigInt.asUintN(64, bits);
    U32[WORDS + i] = Number(b & LO);
    U32[WORDS + i + 1] = Number(b >> 32n);
}

// One call with argument bits: a BigInt per double (its 64 bits), a number per
// float (its 32 bits), an integer for _yn's order. Returns the result's bits,
// a BigInt for a double and a number for a float: the exact bits the library
// computed, NaN payloads and signs included, whatever the engine does with NaN
// numbers.
export function callBits(name, ...args) {
    const e = table.get(name);
    if (!e) throw new TypeError(`kalmlib: no export named ${name}`);
    switch (e.signature) {
        case 'd_d': putDouble(0, args[0]); break;
        case 'dd_d': putDouble(0, args[0]); putDouble(2, args[1]); break;
        case 'id_d': U32[WORDS] = Number(args[0]) | 0; putDouble(1, args[1]); break;
        case 'f_f': U32[WORDS] = Number(args[0]) >>> 0; break;
        case 'ff_f': U32[WORDS] = Number(args[0]) >>> 0; U32[WORDS + 1] = Number(args[1]) >>> 0; break;
    }
    M._kalm_js_call(e.ordinal, e.argWords);
    if (U32[PENDING] !== 0) throwPending(name);
    if (e.resultWords === 1) return U32[RESULTS];
    return (BigInt(U32[RESULTS + 1]) << 32n) | BigInt(U32[RESULTS]);
}

// The exports on numbers, as Math's functions are called. Single functions
// round their arguments to float first, as a float parameter does.
function numberFunction(name) {
    const f = M['_kalm_' + name.replace(/^_/, '')];
    const sig = table.get(name).signature;
    if (sig === 'd_d' || sig === 'f_f') {
        return function (x) {
            const r = f(x);
            if (U32[PENDING] !== 0) throwPending(name);
            return r;
        };
    }
    return function (x, y) {
        const r = f(x, y);
        if (U32[PENDING] !== 0) throwPending(name);
        return r;
    };
}

export const _y0 = numberFunction('_y0');
export const _y1 = numberFunction('_y1');
export const _yn = numberFunction('_yn');
export const acos = numberFunction('acos');
export const acosf = numberFunction('acosf');
export const asin = numberFunction('asin');
export const asinf = numberFunction('asinf');
export const atan = numberFunction('atan');
export const atan2 = numberFunction('atan2');
export const atan2f = numberFunction('atan2f');
export const atanf = numberFunction('atanf');
export const ceil = numberFunction('ceil');
export const ceilf = numberFunction('ceilf');
export const cos = numberFunction('cos');
export const cosf = numberFunction('cosf');
export const cosh = numberFunction('cosh');
export const coshf = numberFunction('coshf');
export const exp = numberFunction('exp');
export const expf = numberFunction('expf');
export const fabsf = numberFunction('fabsf');
export const floor = numberFunction('floor');
export const floorf = numberFunction('floorf');
export const fmod = numberFunction('fmod');
export const fmodf = numberFunction('fmodf');
export const log = numberFunction('log');
export const log10 = numberFunction('log10');
export const log10f = numberFunction('log10f');
export const logf = numberFunction('logf');
export const pow = numberFunction('pow');
export const powf = numberFunction('powf');
export const sin = numberFunction('sin');
export const sinf = numberFunction('sinf');
export const sinh = numberFunction('sinh');
export const sinhf = numberFunction('sinhf');
export const sqrt = numberFunction('sqrt');
export const sqrtf = numberFunction('sqrtf');
export const tan = numberFunction('tan');
export const tanf = numberFunction('tanf');
export const tanh = numberFunction('tanh');
export const tanhf = numberFunction('tanhf');
