// SPDX-License-Identifier: MIT
// node js/bench.js [PACKAGE_DIR] [MS]: ns per call of each export through the
// package's number API, on the arguments bench/calls/calls.c draws (the same
// generator over bench/calls/ranges.txt), best of three runs of about MS
// milliseconds (default 200). Output: NAME NS, as kalm_calls_bench prints.
import { readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const pkg = resolve(process.argv[2] ?? join(root, 'build-wasm/js/kalmlib'));
const budget = Number(process.argv[3] ?? 200) * 1e6;
const kalm = await import(pathToFileURL(join(pkg, 'kalmlib.js')));
kalm.setControlWord(kalm.MASK_ALL);

const N = 4096;
const M64 = (1n << 64n) - 1n;
let seed = 1n;
function uniform(lo, hi) {
    seed = (seed * 6364136223846793005n + 1442695040888963407n) & M64;
    return lo + (hi - lo) * (Number(seed >> 11n) * 2 ** -53);
}

let sink = 0;
for (const line of readFileSync(join(root, 'bench/calls/ranges.txt'), 'utf8').split('\n')) {
    if (line.startsWith('#') || !line.trim()) continue;
    const [name, ...v] = line.trim().split(/\s+/);
    const [lo, hi, ylo, yhi] = v.map(Number);
    const signature = kalm.exportList.find((e) => e.name === name).signature;
    const single = signature.startsWith('f');
    const xs = new Float64Array(N), ys = new Float64Array(N);
    for (let i = 0; i < N; i++) {
        xs[i] = uniform(lo, hi);
        ys[i] = v.length >= 4 ? uniform(ylo, yhi) : 0;
    }
    // The C program hands the single functions floats: round the same way.
    if (single) for (let i = 0; i < N; i++) { xs[i] = Math.fround(xs[i]); ys[i] = Math.fround(ys[i]); }
    const f = kalm[name];
    const arity = signature === 'd_d' || signature === 'f_f' ? 1 : 2;
    const run = (reps) => {
        const t0 = process.hrtime.bigint();
        for (let r = 0; r < reps; r++) {
            if (name === '_yn') for (let i = 0; i < N; i++) sink += f(ylo, xs[i]);
            else if (arity === 1) for (let i = 0; i < N; i++) sink += f(xs[i]);
            else for (let i = 0; i < N; i++) sink += f(xs[i], ys[i]);
        }
        return Number(process.hrtime.bigint() - t0) / (reps * N);
    };
    let reps = 1;
    while (run(reps) * reps * N < budget / 10) reps *= 2;
    let best = Infinity;
    for (let k = 0; k < 3; k++) best = Math.min(best, run(reps * 3));
    console.log(`${name} ${best.toFixed(2)}`);
}
if (sink === 0.125) console.log('');  // the results are used, so every call is made
