// SPDX-License-Identifier: MIT
// node --test: every vector file through the package (KALMLIB_PACKAGE: the
// built package folder, build-wasm/js/kalmlib by default).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readdirSync, readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { checkVectorText } from '../check/vectors.js';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const pkg = resolve(process.env.KALMLIB_PACKAGE ?? join(root, 'build-wasm/js/kalmlib'));
const kalm = await import(pathToFileURL(join(pkg, 'kalmlib.js')));
const dir = join(root, 'tests/vectors');

for (const file of readdirSync(dir).filter((f) => f.endsWith('.txt')).sort()) {
    test(`vectors ${file}`, () => {
        const t = checkVectorText(kalm, readFileSync(join(dir, file), 'utf8'), `tests/vectors/${file}`);
        assert.ok(t.passed > 0, 'no vector line');
        assert.equal(t.failed, 0, t.failures.slice(0, 20).join('\n'));
    });
}
