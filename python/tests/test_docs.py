# SPDX-License-Identifier: MIT
"""The Python examples of README.md and docs/python.md run against the installed
package: `>>>` blocks as doctests, the others as scripts that must not fail."""
import doctest
import pathlib
import re

import numpy as np
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
BLOCK = re.compile(r"^```python\n(.*?)^```", re.S | re.M)


def examples():
    for page in ("README.md", "docs/python.md"):
        text = (ROOT / page).read_text(encoding="utf-8")
        for m in BLOCK.finditer(text):
            yield pytest.param(m.group(1), id=f"{page}:{text.count(chr(10), 0, m.start()) + 1}")


@pytest.mark.parametrize("code", examples())
def test_example(code):
    import kalmlib
    env = {"np": np, "kalmlib": kalmlib}
    if code.lstrip().startswith(">>>"):
        test = doctest.DocTestParser().get_doctest(code, env, "example", None, 0)
        runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
        runner.run(test)
        assert runner.failures == 0
    else:
        exec(compile(code, "example", "exec"), env)
