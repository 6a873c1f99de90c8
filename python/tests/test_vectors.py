# SPDX-License-Identifier: MIT
"""Every vector line through the ufuncs (both dtypes, contiguous and strided),
the scalar calls and evaluate()."""
import numpy as np
import pytest

import kalmlib
import vectors

GROUPS = vectors.load()


def public_names(group):
    """The kalmlib names that reach this export with the group's dtype."""
    if group.export == "fabsf":
        return ["fabsf", "fabs"]
    if group.single:
        return [group.name, group.name[:-1]]
    return [group.name]


CASES = [(g.export, n) for g in GROUPS.values() for n in public_names(g)]


def bits(group, values):
    return np.asarray(values, group.ftype).view(group.utype)


def strided(a):
    """The same values as a reversed view of every other element of a buffer."""
    buf = np.zeros(2 * a.size, a.dtype)
    view = buf[::-2]
    view[...] = a
    return view


@pytest.mark.parametrize("export,name", CASES)
def test_ufunc(export, name):
    g = GROUPS[export]
    f = getattr(kalmlib, name)
    got = f(*g.args)
    assert got.dtype == g.ftype
    assert vectors.mismatches(g, bits(g, got), g.result) == []
    # repeated past the loops' gather buffer (512 elements), so that its chunks are crossed
    reps = 1 + 1100 // g.result.size
    out = strided(np.full(g.result.size * reps, 7, g.ftype))
    f(*[strided(np.tile(a, reps)) for a in g.args], out=out)
    assert vectors.mismatches(g, bits(g, out).reshape(reps, -1).T, g.result[:, None]) == []


@pytest.mark.parametrize("export,name", CASES)
def test_scalar_calls(export, name):
    g = GROUPS[export]
    f = getattr(kalmlib, name)
    scalar = float if not g.single else np.float32
    got = [f(*[int(a[i]) if a.dtype.kind == "i" else scalar(a[i]) for a in g.args]) for i in range(g.result.size)]
    assert vectors.mismatches(g, bits(g, got), g.result) == []


@pytest.mark.parametrize("export,name", CASES)
def test_evaluate(export, name):
    g = GROUPS[export]
    before = kalmlib.control_word()
    out = kalmlib.evaluate(name, *g.args)
    assert kalmlib.control_word() == before
    assert vectors.mismatches(g, bits(g, out.result), g.result) == []
    assert vectors.mismatches(g, out.flags, g.flags) == []
    assert vectors.mismatches(g, out.raised, g.raised) == []
    assert vectors.mismatches(g, out.in_library, g.in_library) == []


def test_every_export_has_vectors():
    assert len(GROUPS) == 40
