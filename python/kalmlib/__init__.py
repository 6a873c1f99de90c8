# SPDX-License-Identifier: MIT
"""kalmlib: the device's math library as numpy ufuncs, bit for bit on every CPU.

Arrays go through the library's batch entries (results only, the GIL released);
a call with scalars (Python floats, numpy float32) goes through the scalar
entries, keeps this thread's sticky flags (status()) and raises as the device
did when errstate() unmasks an exception. evaluate() gives the whole outcome
of every element: result, flags, raise and where it was reported."""
import collections
import contextlib

import numpy as np

from . import _kalmlib
from ._kalmlib import clear_status, control_word, isa, set_control_word, status

__version__ = _kalmlib.version

ISA = {"scalar": 0, "avx2": 1, "avx512": 2, "neon": 3}

# Control word bits: a set bit masks (ignores) the exception.
MASK = {"inexact": 0x01, "under": 0x02, "over": 0x04, "divide": 0x08, "invalid": 0x10}
_ALIASES = {"underflow": "under", "overflow": "over", "divbyzero": "divide"}


class KalmFloatingPointError(FloatingPointError):
    """An unmasked exception of a scalar call: status_code (the device's
    STATUS_FLOAT_* code), function (kalmlib's name) and where ('app': against
    the caller's call of the export, 'lib': from a call inside the library)."""

    kind = "floating-point exception"

    def __init__(self, status_code, function, where):
        self.status_code = status_code
        self.function = function
        self.where = where
        place = "the caller's call" if where == "app" else "a call inside the library"
        super().__init__("%s in kalmlib.%s (0x%08X), reported against %s" % (self.kind, function, status_code, place))

    def __reduce__(self):
        return type(self), (self.status_code, self.function, self.where)


class InvalidOperation(KalmFloatingPointError):
    kind = "invalid operation"


class DivideByZero(KalmFloatingPointError):
    kind = "divide by zero"


class Overflow(KalmFloatingPointError):
    kind = "overflow"


class Underflow(KalmFloatingPointError):
    kind = "underflow"


class Inexact(KalmFloatingPointError):
    kind = "inexact result"


# keyed by the library's exception codes (KALM_FP_*)
_kalmlib._set_errors({0: Inexact, 1: Underflow, 2: Overflow, 3: DivideByZero, 4: InvalidOperation})

FUNCTIONS = tuple(_kalmlib.functions)
globals().update(_kalmlib.functions)


def set_isa(which):
    """Selects the instruction set of the array path for this process:
    'scalar', 'avx2', 'avx512', 'neon' or its number. Results do not change."""
    _kalmlib.set_isa(ISA[which] if isinstance(which, str) else which)


@contextlib.contextmanager
def errstate(**kinds):
    """Sets this thread's control word for the block, numpy's errstate style:
    errstate(invalid='raise', overflow='raise'); keys all, invalid, divide,
    over(flow), under(flow), inexact; values 'raise' or 'ignore'. Kinds not
    named keep their setting; the previous word is restored on exit."""
    word = control_word()
    new = word
    if "all" in kinds:
        new = _apply(new, 0x1F, kinds.pop("all"), "all")
    for key, value in kinds.items():
        name = _ALIASES.get(key, key)
        if name not in MASK:
            raise TypeError("errstate: unknown exception kind %r" % key)
        new = _apply(new, MASK[name], value, key)
    set_control_word(new)
    try:
        yield
    finally:
        set_control_word(word)


def _apply(word, bits, value, key):
    if value == "raise":
        return word & ~bits
    if value == "ignore":
        return word | bits
    raise ValueError("errstate: %s=%r; kalmlib knows 'raise' and 'ignore'" % (key, value))


Outcome = collections.namedtuple("Outcome", "result flags raised in_library")

# export name, argument dtypes and result dtype of each (name, float32?) pair
_EXPORT = {}
for _n in ("sin cos tan asin acos atan atan2 sinh cosh tanh exp log log10 pow sqrt ceil floor fmod").split():
    _EXPORT[(_n, False)] = (_n, np.float64)
    _EXPORT[(_n, True)] = (_n + "f", np.float32)
    _EXPORT[(_n + "f", True)] = _EXPORT[(_n + "f", False)] = (_n + "f", np.float32)
for _n in ("fabs", "fabsf"):
    _EXPORT[(_n, True)] = _EXPORT[(_n, False)] = ("fabsf", np.float32)
for _n in ("y0", "y1"):
    _EXPORT[(_n, True)] = _EXPORT[(_n, False)] = ("_" + _n, np.float64)


def evaluate(name, *arrays):
    """The whole outcome of each element through the scalar entries: an
    Outcome of arrays (result; flags, uint8, the sticky flags with every
    exception masked; raised, uint32, the status code of the first exception
    with every exception unmasked, 0 for none; in_library, bool, whether it
    was reported inside the library). float32 arguments take the single
    export where there is one. yn takes (orders, x)."""
    fn = _kalmlib.functions.get(name)
    if fn is None:
        raise ValueError("kalmlib.evaluate: no function %r" % name)
    if len(arrays) != fn.nin:
        raise TypeError("kalmlib.evaluate: %s takes %d arrays" % (name, fn.nin))
    if name == "yn":
        order, x = np.broadcast_arrays(*arrays)
        if order.dtype.kind not in "iu":
            raise TypeError("kalmlib.yn: the order must be an integer array, not %s" % order.dtype)
        if order.size and (order.min() < -2**31 or order.max() > 2**31 - 1):
            raise ValueError("kalmlib.yn: an order is outside 32 bits")
        args = [np.ascontiguousarray(order, np.int32), np.ascontiguousarray(_as_float(name, x, np.float64))]
        export, rtype = "_yn", np.float64
    else:
        arrays = [np.asarray(a) for a in arrays]
        for a in arrays:
            _as_float(name, a, None)
        single = all(np.can_cast(a.dtype, np.float32) for a in arrays)
        export, rtype = _EXPORT[(name, single)]
        arrays = np.broadcast_arrays(*arrays)
        for a in arrays:
            if not np.can_cast(a.dtype, rtype):
                raise TypeError("kalmlib.%s: %s arguments refused: the export %s is float32 only"
                                % (name, a.dtype, export))
        args = [np.ascontiguousarray(a, rtype) for a in arrays]
    shape = args[0].shape
    out = Outcome(np.empty(shape, rtype), np.empty(shape, np.uint8), np.empty(shape, np.uint32),
                  np.empty(shape, np.bool_))
    _kalmlib._evaluate(export, *out, *args)
    return out


def _as_float(name, a, dtype):
    if a.dtype.kind not in "fiub":
        raise TypeError("kalmlib.%s: no loop for %s arguments" % (name, a.dtype))
    return a if dtype is None else a.astype(dtype, copy=False)


__all__ = list(FUNCTIONS) + ["status", "clear_status", "control_word", "set_control_word", "errstate", "evaluate",
                             "isa", "set_isa", "Outcome", "KalmFloatingPointError", "InvalidOperation",
                             "DivideByZero", "Overflow", "Underflow", "Inexact"]
