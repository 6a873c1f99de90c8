# SPDX-License-Identifier: MIT
"""Scalar calls under errstate raise the device's exception, and keep this
thread's sticky flags; arguments without a loop are refused untouched."""
import numpy as np
import pytest

import kalmlib
import vectors

GROUPS = vectors.load()
CLASSES = {0xC000008E: kalmlib.DivideByZero, 0xC000008F: kalmlib.Inexact, 0xC0000090: kalmlib.InvalidOperation,
           0xC0000091: kalmlib.Overflow, 0xC0000093: kalmlib.Underflow}


def scalar_args(g, i):
    return [int(a[i]) if a.dtype.kind == "i" else (np.float32 if g.single else float)(a[i]) for a in g.args]


@pytest.mark.parametrize("export", sorted(GROUPS))
def test_raise_and_flags(export):
    g = GROUPS[export]
    f = getattr(kalmlib, g.name)
    wrong = []
    for i in range(g.result.size):
        args = scalar_args(g, i)
        kalmlib.clear_status()
        f(*args)
        _ = float(len(args)) / 3.0  # the host's own inexact flag: not kalmlib's
        if kalmlib.status() != g.flags[i]:
            wrong.append((g.lines[i], "flags %02x" % kalmlib.status()))
        with kalmlib.errstate(all="raise"):
            try:
                f(*args)
                got = None
            except kalmlib.KalmFloatingPointError as e:
                got = (type(e), e.status_code, e.where, e.function)
        want = None if not g.raised[i] else (CLASSES[int(g.raised[i])], int(g.raised[i]),
                                             "lib" if g.in_library[i] else "app", g.name)
        if got != want:
            wrong.append((g.lines[i], got))
    assert wrong == []


def test_errstate_scope():
    word = kalmlib.control_word()
    with kalmlib.errstate(invalid="raise"):
        assert kalmlib.sqrt(4.0) == 2.0
        with pytest.raises(kalmlib.InvalidOperation) as info:
            kalmlib.sqrt(-1.0)
        assert isinstance(info.value, FloatingPointError)
        with kalmlib.errstate(invalid="ignore"):
            assert np.isnan(kalmlib.sqrt(-1.0))
        # arrays compute results only, whatever the control word
        assert np.isnan(kalmlib.sqrt(np.array([-1.0]))[0])
    assert kalmlib.control_word() == word
    with pytest.raises(ValueError):
        with kalmlib.errstate(invalid="warn"):
            pass


BAD = [np.array([1 + 2j]), np.array([1.0], object), np.array(["1.0"])]


@pytest.mark.parametrize("name", ["sin", "sinf", "atan2", "fmodf", "y0"])
@pytest.mark.parametrize("bad", BAD, ids=lambda a: str(a.dtype))
def test_refused_dtypes(name, bad):
    f = getattr(kalmlib, name)
    out = np.full(1, 7.0, np.float32 if name.endswith("f") else np.float64)
    args = [bad] * f.nin
    with pytest.raises(TypeError, match="kalmlib.%s.*%s" % (name, bad.dtype)):
        f(*args, out=out)
    assert out[0] == 7.0


def test_float32_only_names_refuse_float64():
    for name in ("fabs", "sinf", "powf"):
        f = getattr(kalmlib, name)
        with pytest.raises(TypeError, match="float64"):
            f(*[np.ones(2)] * f.nin)


def test_yn_orders():
    x = np.array([1.0, 2.0, 3.0])
    want = kalmlib.yn(np.array([1, 2, 3], np.int32), x)
    assert kalmlib.yn(np.array([1, 2, 3], np.int64), x).tobytes() == want.tobytes()
    assert kalmlib.yn(3, 3.0) == want[2]
    with pytest.raises(TypeError, match="integer"):
        kalmlib.yn(np.array([1.0]), x[:1])
    with pytest.raises(ValueError, match="32 bits"):
        kalmlib.yn(np.array([2**31], np.int64), x[:1])
    with pytest.raises(ValueError, match="32 bits"):
        kalmlib.yn(-2**31 - 1, 1.0)


def test_array_forms():
    x = np.linspace(-4, 4, 12).reshape(3, 4)
    want = kalmlib.sin(x)
    assert kalmlib.sin(np.float64(0.5)) == kalmlib.sin(0.5)
    assert kalmlib.sin(np.array(0.5)).shape == ()
    assert kalmlib.sin(np.arange(3)).tobytes() == kalmlib.sin(np.arange(3.0)).tobytes()
    assert kalmlib.atan2(x, x[0]).tobytes() == kalmlib.atan2(x, np.broadcast_to(x[0], x.shape)).tobytes()
    y = x.copy()
    kalmlib.sin(y, out=y)
    assert y.tobytes() == want.tobytes()
    out = np.zeros_like(x)
    kalmlib.sin(x, out=out, where=x > 0)
    assert (out == np.where(x > 0, want, 0.0)).all()
    assert kalmlib.sin(x.T).tobytes() == want.T.copy().tobytes()
