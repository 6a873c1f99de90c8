#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Checks the README and docs/*.md: their examples run and their links resolve.

Every fenced block is checked unless the line right before its opening fence is
`<!-- norun: REASON -->`.  Checked means, by the fence's language:
  c, cpp   a complete program, compiled against the library and run: exit 0;
  sh       run with `sh -e` in a scratch copy of the tree whose build/ is the
           build under test: exit 0;
  any      a block whose preceding line is `<!-- excerpt: PATH -->` is lines of
           PATH (a tested file): each non-blank line must be one of PATH's lines,
           leading and trailing blanks aside.
A block of a runnable language followed (blank lines apart) by a block opened
right after `<!-- output -->` must print exactly that block's text.  Any other
block is an error, so that nothing goes unchecked by accident.

Links: every relative link or image of those files must name an existing file,
and an #anchor a heading of the named Markdown file (or an id of an HTML file).

  check_docs.py --root SRC [--build DIR --library SO --cc CC --cxx CXX] [--links-only | --examples-only] [FILE...]
Exit status: 0 all good, 1 a failure (each named on stderr), 2 a bad command line.
"""
import argparse
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

FENCE = re.compile(r'^(\s{0,3})(```+)\s*([\w+-]*)')
MARK = re.compile(r'^<!--\s*(norun|output|excerpt)\s*(?::\s*(.*?))?\s*-->\s*$')
LINK = re.compile(r'!?\[[^\]]*\]\(([^)\s]+)(?:\s+"[^"]*")?\)|\bsrc="([^"]+)"')
RUNNABLE = ('c', 'cpp', 'sh')


def blocks(path):
    """(line number, language, marker, marker argument, text) of each fenced block."""
    lines = open(path, encoding='utf-8').read().split('\n')
    out, i = [], 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        start, fence, lang = i, m.group(2), m.group(3)
        prev = MARK.match(lines[i - 1].strip()) if i else None
        body = []
        i += 1
        while i < len(lines) and not lines[i].strip().startswith(fence):
            body.append(lines[i][len(m.group(1)):])
            i += 1
        i += 1
        out.append((start + 1, lang, prev.group(1) if prev else None, (prev.group(2) or '') if prev else '',
                    '\n'.join(body) + '\n'))
    return out


def prose(path, keep_code=False):
    """The file's lines outside fenced blocks, with inline code removed unless keep_code."""
    inside, fence = False, ''
    for n, line in enumerate(open(path, encoding='utf-8'), 1):
        m = FENCE.match(line)
        if m and (not inside or line.strip().startswith(fence)):
            inside, fence = (not inside), m.group(2)
            continue
        if not inside:
            yield n, line if keep_code else re.sub(r'`[^`]*`', '', line)


def slug(heading):
    """GitHub's anchor for a heading."""
    text = re.sub(r'\[([^\]]*)\]\([^)]*\)', r'\1', heading).replace('`', '').strip().lower()
    return re.sub(r'[^\w\- ]', '', text).replace(' ', '-')


def anchors(path):
    if path.endswith('.html'):
        return set(re.findall(r'\b(?:id|name)="([^"]+)"', open(path, encoding='utf-8').read()))
    seen, out = {}, set()
    for _, line in prose(path, keep_code=True):
        m = re.match(r'^#{1,6}\s+(.*?)\s*#*\s*$', line)
        if m:
            s = slug(m.group(1))
            k = seen.get(s, 0)
            seen[s] = k + 1
            out.add(s if k == 0 else '%s-%d' % (s, k))
    return out


def check_links(path, root):
    errors = []
    for n, line in prose(path):
        for m in LINK.finditer(line):
            target = m.group(1) or m.group(2)
            if re.match(r'^[a-z][a-z0-9+.-]*:', target):
                continue  # http:, https:, mailto:
            file, _, anchor = target.partition('#')
            dest = os.path.normpath(os.path.join(os.path.dirname(path), file)) if file else path
            where = '%s:%d: %s' % (os.path.relpath(path, root), n, target)
            if not os.path.exists(dest):
                errors.append(where + ': no such file')
            elif anchor and (os.path.isdir(dest) or anchor not in anchors(dest)):
                errors.append(where + ': no such anchor')
    return errors


def run_block(job, args):
    """Compiles and runs one block; returns an error message or None."""
    where, lang, text, expected = job
    with tempfile.TemporaryDirectory(prefix='kalm_docs_') as tmp:
        if lang == 'sh':
            for entry in os.listdir(args.root):
                if entry not in ('build', '.git'):
                    os.symlink(os.path.join(args.root, entry), os.path.join(tmp, entry))
            os.symlink(args.build, os.path.join(tmp, 'build'))
            cmd, cwd = ['sh', '-e', '-c', text], tmp
        else:
            src = os.path.join(tmp, 'example.' + lang)
            exe = os.path.join(tmp, 'example')
            open(src, 'w', encoding='utf-8').write(text)
            compiler = [args.cc, '-std=c11'] if lang == 'c' else [args.cxx, '-std=c++20']
            libdir = os.path.dirname(args.library)
            build = subprocess.run(compiler + ['-Wall', '-Werror', '-I', os.path.join(args.root, 'include'), src,
                                               args.library, '-Wl,-rpath,' + libdir, '-lm', '-o', exe],
                                   capture_output=True, text=True)
            if build.returncode:
                return '%s: does not compile:\n%s' % (where, build.stderr)
            cmd, cwd = [exe], tmp
        try:
            r = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, timeout=30)
        except subprocess.TimeoutExpired:
            return '%s: still running after 30 s' % where
        if r.returncode:
            return '%s: exit status %d\n%s%s' % (where, r.returncode, r.stdout, r.stderr)
        if expected is not None and r.stdout != expected:
            return '%s: printed\n%swhere the page shows\n%s' % (where, r.stdout, expected)
    return None


def main():
    p = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    p.add_argument('--root', required=True, help='the source tree')
    p.add_argument('--build', help='the build whose programs sh blocks run (as build/)')
    p.add_argument('--library', help='the shared library C and C++ blocks link')
    p.add_argument('--cc', default='cc')
    p.add_argument('--cxx', default='c++')
    p.add_argument('--links-only', action='store_true')
    p.add_argument('--examples-only', action='store_true')
    p.add_argument('files', nargs='*', help='default: README.md and docs/*.md')
    args = p.parse_args()
    if not args.links_only and not (args.build and args.library):
        p.error('--build and --library are needed unless --links-only')
    args.root = os.path.abspath(args.root)
    if not args.links_only:
        args.build, args.library = os.path.abspath(args.build), os.path.abspath(args.library)
    files = args.files or [os.path.join(args.root, 'README.md')] + sorted(
        os.path.join(args.root, 'docs', f) for f in os.listdir(os.path.join(args.root, 'docs')) if f.endswith('.md'))
    errors, jobs, checked, skipped = [], [], 0, 0
    for path in files:
        path = os.path.abspath(path)
        if not args.examples_only:
            errors += check_links(path, args.root)
        if args.links_only:
            continue
        found = blocks(path)
        for k, (n, lang, mark, arg, text) in enumerate(found):
            where = '%s:%d' % (os.path.relpath(path, args.root), n)
            if mark == 'norun':
                if not arg:
                    errors.append(where + ': norun needs a reason')
                skipped += 1
            elif mark == 'output':
                if not (k and found[k - 1][1] in RUNNABLE and found[k - 1][2] is None):
                    errors.append(where + ': an output block must follow a block that runs')
            elif mark == 'excerpt':
                try:
                    have = {line.strip() for line in open(os.path.join(args.root, arg), encoding='utf-8')}
                except OSError:
                    errors.append('%s: cannot read %s' % (where, arg))
                    continue
                missing = [line for line in text.split('\n') if line.strip() and line.strip() not in have]
                if missing:
                    errors.append('%s: not in %s:\n  %s' % (where, arg, '\n  '.join(missing)))
                checked += 1
            elif lang in RUNNABLE:
                nxt = found[k + 1] if k + 1 < len(found) else None
                expected = nxt[4] if nxt and nxt[2] == 'output' else None
                jobs.append((where, lang, text, expected))
            else:
                errors.append('%s: a ```%s block the checker cannot run: give it c, cpp or sh, or mark it '
                              '<!-- norun: REASON -->' % (where, lang))
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        for err in pool.map(lambda job: run_block(job, args), jobs):
            if err:
                errors.append(err)
    checked += len(jobs)
    for e in errors:
        print(e, file=sys.stderr)
    print('%d files: %d blocks checked, %d marked norun, %d failures' % (len(files), checked, skipped, len(errors)))
    return 1 if errors else 0


if __name__ == '__main__':
    sys.exit(main())
