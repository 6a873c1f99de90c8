// SPDX-License-Identifier: MIT
// The vector files (tests/vectors, docs/vector-format.md) through the
// package, under node and in the browser alike: every line's result bits and
// flags with everything masked, and its first raise with everything unmasked,
// through callBits; and the same line through the number API wherever its
// arguments and result are numbers a JavaScript value carries exactly (not a
// NaN).
//   NAME ARG... -> RESULT FLAGS RAISE   # comment

const f64 = new Float64Array(1);
const u64 = new BigUint64Array(f64.buffer);
const f32 = new Float32Array(1);
const u32 = new Uint32Array(f32.buffer);
const toDouble = (b) => ((u64[0] = b), f64[0]);
const toFloat = (b) => ((u32[0] = b), f32[0]);
const doubleBits = (x) => ((f64[0] = x), u64[0]);
const floatBits = (x) => ((f32[0] = x), u32[0]);
const hex = (b, words) => '0x' + b.toString(16).padStart(words * 8, '0');

// The outcome of one call: [result bits, flags, raise ("-" or CODE@app/@lib)].
function outcome(kalm, call) {
    const saved = kalm.controlWord();
    let result, flags, raise = '-';
    kalm.setControlWord(kalm.MASK_ALL);
    kalm.clearStatus();
    result = call();
    flags = kalm.status() & kalm.FLAGS_ALL;
    kalm.setControlWord(0);
    kalm.clearStatus();
    try {
        call();
    } catch (e) {
        if (!(e instanceof kalm.KalmFloatingPointError)) throw e;
        raise = e.statusCode.toString(16).toUpperCase().padStart(8, '0') + '@' + e.where;
    }
    kalm.setControlWord(saved);
    kalm.clearStatus();
    return [result, flags, raise];
}

// Checks every line of one file's text; returns {passed, failed, failures}.
export function checkVectorText(kalm, text, source) {
    const exports = new Map(kalm.exportList.map((e) => [e.name, e]));
    const tally = { passed: 0, failed: 0, failures: [] };
    text.split('\n').forEach((raw, i) => {
        const line = raw.replace(/#.*/, '').trim();
        if (line === '') return;
        const where = `${source}:${i + 1}`;
        const [input, want] = line.split('->').map((s) => s.trim().split(/\s+/));
        const e = exports.get(input[0]);
        if (!e || !want || want.length !== 3) {
            tally.failed++;
            tally.failures.push(`${where}: malformed: ${raw}`);
            return;
        }
        const isFloat = e.signature.startsWith('f');
        const args = input.slice(1).map((a, k) =>
            e.signature === 'id_d' && k === 0 ? Number(a) : isFloat ? Number(BigInt(a)) : BigInt(a));
        const got = outcome(kalm, () => kalm.callBits(e.name, ...args));
        const expect = [isFloat ? Number(BigInt(want[0])) : BigInt(want[0]), parseInt(want[1], 16), want[2]];
        const bad = [];
        if (got[0] !== expect[0] || got[1] !== expect[1] || got[2] !== expect[2]) {
            bad.push(`got ${hex(got[0], e.resultWords)} ${got[1].toString(16).padStart(2, '0')} ${got[2]}`);
        }
        // The number API: the same bits, flags and raise where no NaN is involved.
        const numbers = args.map((a, k) =>
            e.signature === 'id_d' && k === 0 ? a : isFloat ? toFloat(a) : toDouble(a));
        const resultNumber = isFloat ? toFloat(expect[0]) : toDouble(expect[0]);
        if (!numbers.some(Number.isNaN) && !Number.isNaN(resultNumber)) {
            const n = outcome(kalm, () => kalm[e.name](...numbers));
            const nb = isFloat ? floatBits(n[0]) : doubleBits(n[0]);
            if (nb !== expect[0] || n[1] !== expect[1] || n[2] !== expect[2]) {
                bad.push(`number API gave ${hex(nb, e.resultWords)} ${n[1].toString(16).padStart(2, '0')} ${n[2]}`);
            }
        }
        if (bad.length === 0) {
            tally.passed++;
        } else {
            tally.failed++;
            tally.failures.push(`${where}: ${input.join(' ')}\n    expected -> ${want.join(' ')}\n    ${bad.join('\n    ')}`);
        }
    });
    return tally;
}
