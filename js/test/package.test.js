// SPDX-License-Identifier: MIT
// The package as users get it: its TypeScript declarations name exactly what
// the module exports, and `npm pack` gives a tarball that installs offline
// into a fresh project, where `import 'kalmlib'` works and raises.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const pkg = resolve(process.env.KALMLIB_PACKAGE ?? join(root, 'build-wasm/js/kalmlib'));

test('the declarations and the module export the same names', async () => {
    const kalm = await import(pathToFileURL(join(pkg, 'kalmlib.js')));
    const dts = readFileSync(join(pkg, 'kalmlib.d.ts'), 'utf8');
    const declared = [...dts.matchAll(/^export declare (?:function|const|class) (\w+)/gm)].map((m) => m[1]);
    assert.deepEqual([...new Set(declared)].sort(), Object.keys(kalm).sort());
    for (const e of kalm.exportList) assert.equal(typeof kalm[e.name], 'function', e.name);
    assert.equal(kalm.exportList.length, 40);
});

test('npm pack installs offline into a scratch project and runs there', () => {
    const work = mkdtempSync(join(tmpdir(), 'kalmlib-pack-'));
    try {
        const npm = (args, cwd) => execFileSync('npm', args, { cwd, encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'],
            env: { ...process.env, npm_config_cache: join(work, 'cache'), npm_config_audit: 'false',
                   npm_config_fund: 'false', npm_config_update_notifier: 'false' } });
        npm(['pack', '--pack-destination', work, pkg], work);
        const tarball = readdirSync(work).find((f) => /^kalmlib-.*\.tgz$/.test(f));
        assert.ok(tarball, 'npm pack wrote no kalmlib-*.tgz');
        const app = join(work, 'app');
        execFileSync('mkdir', [app]);
        writeFileSync(join(app, 'package.json'), JSON.stringify({ name: 'app', version: '1.0.0', type: 'module' }));
        npm(['install', '--offline', '--no-package-lock', join(work, tarball)], app);
        writeFileSync(join(app, 'main.js'), `
import * as kalm from 'kalmlib';
kalm.setControlWord(kalm.MASK_ALL & ~kalm.MASK_INVALID);
let raised = '';
try { kalm.sqrt(-1); } catch (e) { raised = e.constructor.name + ' ' + e.statusCode.toString(16) + ' ' + e.where; }
console.log(kalm.version(), kalm.callBits('sin', 0x3ff0000000000000n).toString(16), raised);
`);
        const out = execFileSync(process.execPath, ['main.js'], { cwd: app, encoding: 'utf8' }).trim();
        const version = JSON.parse(readFileSync(join(pkg, 'package.json'), 'utf8')).version;
        assert.equal(out, `${version} 3feaed548f090cee InvalidOperation c0000090 app`);
    } finally {
        rmSync(work, { recursive: true, force: true });
    }
});
