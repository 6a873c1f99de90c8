# SPDX-License-Identifier: MIT
"""Type stubs of kalmlib: each function takes numpy array-likes (or plain
scalars, which go through the scalar exports and may raise) and returns an
array, or a numpy scalar for scalar arguments."""
from typing import Any, ContextManager, Dict, NamedTuple, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str
FUNCTIONS: Tuple[str, ...]
ISA: Dict[str, int]
MASK: Dict[str, int]

class Function:
    """A kalmlib function: the numpy ufunc for arrays, the scalar export for
    Python floats and numpy float32 scalars."""
    __name__: str
    ufunc: np.ufunc
    nin: int
    nout: int
    types: list
    def __call__(self, *args: Any, out: Any = ..., where: Any = ..., **kwargs: Any) -> Any: ...
    def __getattr__(self, name: str) -> Any: ...

sin: Function
cos: Function
tan: Function
asin: Function
acos: Function
atan: Function
sinh: Function
cosh: Function
tanh: Function
exp: Function
log: Function
log10: Function
sqrt: Function
ceil: Function
floor: Function
atan2: Function
pow: Function
fmod: Function
fabs: Function
y0: Function
y1: Function
yn: Function
sinf: Function
cosf: Function
tanf: Function
asinf: Function
acosf: Function
atanf: Function
sinhf: Function
coshf: Function
tanhf: Function
expf: Function
logf: Function
log10f: Function
sqrtf: Function
ceilf: Function
floorf: Function
atan2f: Function
powf: Function
fmodf: Function
fabsf: Function

class KalmFloatingPointError(FloatingPointError):
    status_code: int
    function: str
    where: str  # "app" (the caller's call) or "lib" (a call inside the library)
    kind: str
    def __init__(self, status_code: int, function: str, where: str) -> None: ...

class InvalidOperation(KalmFloatingPointError): ...
class DivideByZero(KalmFloatingPointError): ...
class Overflow(KalmFloatingPointError): ...
class Underflow(KalmFloatingPointError): ...
class Inexact(KalmFloatingPointError): ...

class Outcome(NamedTuple):
    result: np.ndarray
    flags: np.ndarray  # uint8
    raised: np.ndarray  # uint32, 0 for none
    in_library: np.ndarray  # bool

def status() -> int: ...
def clear_status() -> None: ...
def control_word() -> int: ...
def set_control_word(word: int) -> None: ...
def isa() -> int: ...
def set_isa(which: Union[str, int]) -> None: ...
def errstate(*, all: str = ..., invalid: str = ..., divide: str = ..., over: str = ..., under: str = ...,
             inexact: str = ..., overflow: str = ..., underflow: str = ...) -> ContextManager[None]: ...
def evaluate(name: str, *arrays: npt.ArrayLike) -> Outcome: ...
