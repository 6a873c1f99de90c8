// SPDX-License-Identifier: MIT
// In a real browser: headless Chromium opens js/browser/index.html served from
// 127.0.0.1 (a free port), which runs every vector line through the package;
// the test reads the count from the page's DOM and keeps a screenshot
// (build-wasm/js/browser-vectors.png). CHROMIUM names the browser (default
// chromium on the PATH); without one the test is skipped, unless
// KALM_REQUIRE_BROWSER=1 (make wasm-test sets it).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile, execFileSync } from 'node:child_process';
import { createServer } from 'node:http';
import { readFileSync, readdirSync, statSync } from 'node:fs';
import { dirname, extname, join, normalize, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const pkg = resolve(process.env.KALMLIB_PACKAGE ?? join(root, 'build-wasm/js/kalmlib'));
const vectors = join(root, 'tests/vectors');
const chromium = process.env.CHROMIUM ?? 'chromium';
const haveBrowser = (() => {
    try { execFileSync(chromium, ['--version'], { stdio: 'ignore' }); return true; } catch { return false; }
})();
const required = process.env.KALM_REQUIRE_BROWSER === '1';

// URL path -> file: the page, the package, the vector runner and the vectors.
const mounts = [['/kalmlib/', pkg], ['/vectors/', vectors], ['/check/', join(root, 'js/check')]];
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.json': 'application/json',
                '.txt': 'text/plain' };
// GET /hold (an image of the page) is answered when the page posts its result,
// or after 110 s: until then the page's load event waits (js/browser/index.html).
function serve(results, holds) {
    return createServer((req, res) => {
        const path = decodeURIComponent(new URL(req.url, 'http://x').pathname);
        if (req.method === 'POST' && path === '/result') {
            let body = '';
            req.on('data', (c) => (body += c));
            req.on('end', () => { results.push(body); res.end(); release(holds); });
            return;
        }
        if (path === '/hold') {
            holds.push(res);
            setTimeout(() => release(holds), 110000).unref();
            return;
        }
        let file = null, body = null;
        if (path === '/' || path === '/index.html') file = join(root, 'js/browser/index.html');
        else if (path === '/files.json') body = JSON.stringify(readdirSync(vectors).filter((f) => f.endsWith('.txt')).sort());
        for (const [prefix, dir] of mounts) {
            if (path.startsWith(prefix)) {
                const p = normalize(join(dir, path.slice(prefix.length)));
                if (p.startsWith(dir + '/')) file = p;  // nothing outside the mount
            }
        }
        try {
            if (file && statSync(file).isFile()) body = readFileSync(file);
        } catch { /* not found below */ }
        if (body === null) { res.writeHead(404); res.end(); return; }
        res.writeHead(200, { 'Content-Type': types[extname(file ?? '.json')] ?? 'application/octet-stream' });
        res.end(body);
    });
}

function release(holds) {
    for (const res of holds.splice(0)) res.end();
}

test('every vector line passes in headless Chromium', { skip: !haveBrowser && !required && 'no chromium' }, async () => {
    const results = [], holds = [];
    const server = serve(results, holds);
    await new Promise((ok) => server.listen(0, '127.0.0.1', ok));
    const url = `http://127.0.0.1:${server.address().port}/index.html`;
    const expected = readdirSync(vectors).filter((f) => f.endsWith('.txt')).reduce((n, f) =>
        n + readFileSync(join(vectors, f), 'utf8').split('\n').filter((l) => l.replace(/#.*/, '').trim()).length, 0);
    const run = (extra) => promisify(execFile)(chromium, ['--headless', '--no-sandbox', '--disable-gpu',
        '--disable-dev-shm-usage', '--no-first-run', '--virtual-time-budget=60000', ...extra, url],
        { encoding: 'utf8', timeout: 120000, maxBuffer: 1 << 24 });
    try {
        const { stdout } = await run(['--dump-dom']);
        // The screenshot is kept whatever the page shows: it is the run's record.
        await run(['--screenshot=' + join(dirname(pkg), 'browser-vectors.png'), '--window-size=1100,700']);
        const count = stdout.match(/<p id="count"[^>]*>([^<]*)<\/p>/)?.[1];
        assert.ok(count, 'no count in the page:\n' + stdout.slice(0, 2000));
        assert.match(count, new RegExp(`, ${expected} passed, 0 failed$`),
            count + '\n' + (stdout.match(/<pre id="failures">([^<]*)</)?.[1] ?? ''));
        assert.ok(results.includes(count), 'the page posted ' + JSON.stringify(results));
    } finally {
        release(holds);
        server.close();
    }
});
