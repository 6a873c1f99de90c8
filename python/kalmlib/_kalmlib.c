/* SPDX-License-Identifier: MIT */
/* kalmlib for Python: numpy ufuncs over the batch entries, and a scalar path
 * through the scalar entries that keeps the device's flags and exceptions.
 *
 * Each public function object (kalmlib.sin, ...) is a small callable that
 * holds the numpy ufunc. A call with plain scalars (a Python float, a numpy
 * float32) goes straight to the scalar export, so that the thread's control
 * word can make it raise; everything else is handed to the ufunc, whose loops
 * run the batch entries (results only) with the GIL released. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <string.h>
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#include <numpy/arrayscalars.h>
#include <numpy/ufuncobject.h>

#include <kalmlib/kalmlib.h>

typedef int (*batch_d1)(const double *, double *, size_t);
typedef int (*batch_f1)(const float *, float *, size_t);
typedef int (*batch_d2)(const double *, const double *, double *, size_t);
typedef int (*batch_f2)(const float *, const float *, float *, size_t);
typedef double (*scalar_d1)(double);
typedef float (*scalar_f1)(float);
typedef double (*scalar_d2)(double, double);
typedef float (*scalar_f2)(float, float);

/* One public name. A name with a double export takes float64; one with a
 * single export takes float32; the standard names have both where the device
 * has both. */
typedef struct {
    const char *name;
    int nin;
    const char *dname, *fname; /* export names for kalm_call, NULL if none */
    void *dbatch, *fbatch;     /* kalm_batch_* */
    void *dscalar, *fscalar;   /* kalm_* */
    const char *contract;
    int dord, ford;            /* ordinals, filled in at import */
} entry;

#define D1(n, c) {#n, 1, #n, NULL, (void *)kalm_batch_##n, NULL, (void *)kalm_##n, NULL, c, 0, 0}
#define DF1(n, c) {#n, 1, #n, #n "f", (void *)kalm_batch_##n, (void *)kalm_batch_##n##f, \
                   (void *)kalm_##n, (void *)kalm_##n##f, c, 0, 0}
#define DF2(n, c) {#n, 2, #n, #n "f", (void *)kalm_batch_##n, (void *)kalm_batch_##n##f, \
                   (void *)kalm_##n, (void *)kalm_##n##f, c, 0, 0}
#define F1(n, c) {#n "f", 1, NULL, #n "f", NULL, (void *)kalm_batch_##n##f, NULL, (void *)kalm_##n##f, c, 0, 0}
#define F2(n, c) {#n "f", 2, NULL, #n "f", NULL, (void *)kalm_batch_##n##f, NULL, (void *)kalm_##n##f, c, 0, 0}

static entry entries[] = {
    DF1(sin, "sine; +-inf and NaN invalid"),
    DF1(cos, "cosine; +-inf and NaN invalid"),
    DF1(tan, "tangent; +-inf and NaN invalid"),
    DF1(asin, "arc sine; |x| > 1 invalid (NaN)"),
    DF1(acos, "arc cosine; |x| > 1 invalid (NaN)"),
    DF1(atan, "arc tangent"),
    DF2(atan2, "atan2(y, x), the quadrant by the signs; NaN operands invalid"),
    DF1(sinh, "hyperbolic sine; overflow beyond 710.4758600739439"),
    DF1(cosh, "hyperbolic cosine; overflow beyond 710.4758600739439"),
    DF1(tanh, "hyperbolic tangent; tiny and |x| >= 22 inexact"),
    DF1(exp, "e**x; NaN invalid, overflow, underflow, tiny |x| inexact"),
    DF1(log, "natural logarithm; 0 divide-by-zero, negative x invalid"),
    DF1(log10, "base-10 logarithm; 0 divide-by-zero, negative x invalid"),
    DF2(pow, "x**y; special cases in the device's order"),
    DF1(sqrt, "square root; negative x invalid, +inf and NaN inexact"),
    DF1(ceil, "smallest integer >= x; inexact when it differs from x"),
    DF1(floor, "largest integer <= x; inexact when it differs from x"),
    {"fabs", 1, NULL, "fabsf", NULL, (void *)kalm_batch_fabsf, NULL, (void *)kalm_fabsf,
     "absolute value (float32 only: the device has no double fabs); NaN payloads kept", 0, 0},
    DF2(fmod, "remainder of x / y with the sign of x; y = 0 and infinite x invalid"),
    {"y0", 1, "_y0", NULL, (void *)kalm_batch_y0, NULL, (void *)kalm_y0, NULL,
     "Bessel function of the second kind, order 0; +-0 divide-by-zero, x < 0 invalid", 0, 0},
    {"y1", 1, "_y1", NULL, (void *)kalm_batch_y1, NULL, (void *)kalm_y1, NULL,
     "Bessel function of the second kind, order 1; +-0 divide-by-zero, x < 0 invalid", 0, 0},
    {"yn", 2, "_yn", NULL, NULL, NULL, (void *)kalm_yn, NULL,
     "yn(n, x): Bessel function of the second kind of integer order n (32 bits)", 0, 0},
    F1(sin, "single sine"), F1(cos, "single cosine"), F1(tan, "single tangent"),
    F1(asin, "single arc sine"), F1(acos, "single arc cosine"), F1(atan, "single arc tangent"),
    F2(atan2, "single atan2(y, x)"), F1(sinh, "single hyperbolic sine"),
    F1(cosh, "single hyperbolic cosine"), F1(tanh, "single hyperbolic tangent"),
    F1(exp, "single e**x"), F1(log, "single natural logarithm"), F1(log10, "single base-10 logarithm"),
    F2(pow, "single x**y"), F1(sqrt, "single square root"), F1(ceil, "single ceiling"),
    F1(floor, "single floor"), F1(fabs, "single absolute value"), F2(fmod, "single remainder"),
};
#define N_ENTRIES (sizeof entries / sizeof entries[0])

/* ---- ufunc loops ----------------------------------------------------------
 * Contiguous runs go to the batch entry as they are; strided ones (and the
 * rare partial overlap numpy may hand over) through a small stack buffer. */

enum { CHUNK = 512 };

static void loop_d1(char **args, const npy_intp *dims, const npy_intp *steps, void *data) {
    batch_d1 f = (batch_d1)data;
    npy_intp n = dims[0], si = steps[0], so = steps[1];
    char *in = args[0], *out = args[1];
    if (si == sizeof(double) && so == sizeof(double) && f((const double *)in, (double *)out, (size_t)n) == KALM_OK)
        return;
    double a[CHUNK], y[CHUNK];
    for (npy_intp i = 0; i < n; i += CHUNK) {
        npy_intp k = n - i < CHUNK ? n - i : CHUNK;
        for (npy_intp j = 0; j < k; j++) memcpy(&a[j], in + (i + j) * si, sizeof(double));
        f(a, y, (size_t)k);
        for (npy_intp j = 0; j < k; j++) memcpy(out + (i + j) * so, &y[j], sizeof(double));
    }
}

static void loop_f1(char **args, const npy_intp *dims, const npy_intp *steps, void *data) {
    batch_f1 f = (batch_f1)data;
    npy_intp n = dims[0], si = steps[0], so = steps[1];
    char *in = args[0], *out = args[1];
    if (si == sizeof(float) && so == sizeof(float) && f((const float *)in, (float *)out, (size_t)n) == KALM_OK)
        return;
    float a[CHUNK], y[CHUNK];
    for (npy_intp i = 0; i < n; i += CHUNK) {
        npy_intp k = n - i < CHUNK ? n - i : CHUNK;
        for (npy_intp j = 0; j < k; j++) memcpy(&a[j], in + (i + j) * si, sizeof(float));
        f(a, y, (size_t)k);
        for (npy_intp j = 0; j < k; j++) memcpy(out + (i + j) * so, &y[j], sizeof(float));
    }
}

static void loop_d2(char **args, const npy_intp *dims, const npy_intp *steps, void *data) {
    batch_d2 f = (batch_d2)data;
    npy_intp n = dims[0], s0 = steps[0], s1 = steps[1], so = steps[2];
    char *p0 = args[0], *p1 = args[1], *out = args[2];
    if (s0 == sizeof(double) && s1 == sizeof(double) && so == sizeof(double) &&
        f((const double *)p0, (const double *)p1, (double *)out, (size_t)n) == KALM_OK)
        return;
    double a[CHUNK], b[CHUNK], y[CHUNK];
    for (npy_intp i = 0; i < n; i += CHUNK) {
        npy_intp k = n - i < CHUNK ? n - i : CHUNK;
        for (npy_intp j = 0; j < k; j++) {
            memcpy(&a[j], p0 + (i + j) * s0, sizeof(double));
            memcpy(&b[j], p1 + (i + j) * s1, sizeof(double));
        }
        f(a, b, y, (size_t)k);
        for (npy_intp j = 0; j < k; j++) memcpy(out + (i + j) * so, &y[j], sizeof(double));
    }
}

static void loop_f2(char **args, const npy_intp *dims, const npy_intp *steps, void *data) {
    batch_f2 f = (batch_f2)data;
    npy_intp n = dims[0], s0 = steps[0], s1 = steps[1], so = steps[2];
    char *p0 = args[0], *p1 = args[1], *out = args[2];
    if (s0 == sizeof(float) && s1 == sizeof(float) && so == sizeof(float) &&
        f((const float *)p0, (const float *)p1, (float *)out, (size_t)n) == KALM_OK)
        return;
    float a[CHUNK], b[CHUNK], y[CHUNK];
    for (npy_intp i = 0; i < n; i += CHUNK) {
        npy_intp k = n - i < CHUNK ? n - i : CHUNK;
        for (npy_intp j = 0; j < k; j++) {
            memcpy(&a[j], p0 + (i + j) * s0, sizeof(float));
            memcpy(&b[j], p1 + (i + j) * s1, sizeof(float));
        }
        f(a, b, y, (size_t)k);
        for (npy_intp j = 0; j < k; j++) memcpy(out + (i + j) * so, &y[j], sizeof(float));
    }
}

static void loop_yn(char **args, const npy_intp *dims, const npy_intp *steps, void *data) {
    (void)data;
    npy_intp n = dims[0], s0 = steps[0], s1 = steps[1], so = steps[2];
    char *p0 = args[0], *p1 = args[1], *out = args[2];
    if (s0 == sizeof(int) && s1 == sizeof(double) && so == sizeof(double) &&
        kalm_batch_yn_orders((const int *)p0, (const double *)p1, (double *)out, (size_t)n) == KALM_OK)
        return;
    int a[CHUNK];
    double b[CHUNK], y[CHUNK];
    for (npy_intp i = 0; i < n; i += CHUNK) {
        npy_intp k = n - i < CHUNK ? n - i : CHUNK;
        for (npy_intp j = 0; j < k; j++) {
            memcpy(&a[j], p0 + (i + j) * s0, sizeof(int));
            memcpy(&b[j], p1 + (i + j) * s1, sizeof(double));
        }
        kalm_batch_yn_orders(a, b, y, (size_t)k);
        for (npy_intp j = 0; j < k; j++) memcpy(out + (i + j) * so, &y[j], sizeof(double));
    }
}

/* Per entry: at most two loops (float32 first, so that numpy's resolution
 * prefers the single export for float32 and smaller types). */
static PyUFuncGenericFunction loop_funcs[N_ENTRIES][2];
static void *loop_data[N_ENTRIES][2];
static char loop_types[N_ENTRIES][2 * 3];

/* ---- the scalar path and its raises -------------------------------------- */

/* Calls made through kalm_call report an exception of the export itself
 * against this address; anything else comes from inside the library. It is a
 * data object, so no code address of the library can equal it. */
static const char app_site = 0;

typedef struct {
    int raised;
    uint32_t code;
    int fp_code;
    int in_library;
} pending_raise;

static _Thread_local pending_raise pending;

/* The first raise is the device's; the rest of the call runs masked so that
 * nothing is reported twice, and its result is dropped by the caller. */
static void on_raise(uint32_t code, int fp_code, uintptr_t address, void *user) {
    pending_raise *p = (pending_raise *)user;
    if (p->raised) return;
    p->raised = 1;
    p->code = code;
    p->fp_code = fp_code;
    p->in_library = address != (uintptr_t)&app_site;
    kalm_set_control_word(KALM_MASK_ALL);
}

/* Arguments in device words: a double is two words, low first. */
static size_t put_double(uint32_t *w, double x) {
    uint64_t u;
    memcpy(&u, &x, 8);
    w[0] = (uint32_t)u;
    w[1] = (uint32_t)(u >> 32);
    return 2;
}
static size_t put_float(uint32_t *w, float x) {
    memcpy(w, &x, 4);
    return 1;
}

/* One call through the word table with the raise handler installed; the
 * result words in r, the first raise (if any) in pending. */
static void call_words(int ordinal, const uint32_t *w, size_t nw, uint32_t *r) {
    uint32_t cw = kalm_control_word();
    memset(&pending, 0, sizeof pending);
    kalm_set_raise_handler(on_raise, &pending);
    kalm_call(ordinal, w, nw, r, 2, (uintptr_t)&app_site);
    kalm_set_control_word(cw);
}

static PyObject *error_classes; /* dict: fp code -> exception class */

static PyObject *raise_pending(const char *function) {
    PyObject *key = PyLong_FromLong(pending.fp_code);
    PyObject *cls = error_classes && key ? PyDict_GetItem(error_classes, key) : NULL;
    Py_XDECREF(key);
    if (!cls) cls = PyExc_FloatingPointError;
    PyObject *exc = PyObject_CallFunction(cls, "Iss", (unsigned)pending.code, function,
                                          pending.in_library ? "lib" : "app");
    if (!exc) return NULL;
    PyErr_SetObject(cls, exc);
    Py_DECREF(exc);
    return NULL;
}

/* This thread's sticky flags as kalmlib's calls left them. The library keeps
 * them in the host's own status register, which Python's float arithmetic and
 * numpy's ufuncs (which clear it around every loop) keep changing between two
 * kalmlib calls; so each scalar call runs with this word loaded and saves it
 * back, and gives the host register back as it was. */
static _Thread_local uint32_t thread_status;

static uint32_t load_status(void) {
    uint32_t host = kalm_status();
    kalm_set_status((host & ~(uint32_t)KALM_FLAGS_ALL) | thread_status);
    return host;
}

static void save_status(uint32_t host) {
    thread_status = kalm_status() & KALM_FLAGS_ALL;
    kalm_set_status(host);
}

static int all_masked(void) {
    return (kalm_control_word() & KALM_MASK_ALL) == KALM_MASK_ALL;
}

static PyObject *scalar_double(const entry *e, double a, double b) {
    double r;
    uint32_t host = load_status();
    if (all_masked()) {
        r = e->nin == 1 ? ((scalar_d1)e->dscalar)(a) : ((scalar_d2)e->dscalar)(a, b);
    } else {
        uint32_t w[4], res[2];
        size_t nw = put_double(w, a);
        if (e->nin == 2) nw += put_double(w + nw, b);
        call_words(e->dord, w, nw, res);
        if (pending.raised) {
            save_status(host);
            return raise_pending(e->name);
        }
        uint64_t u = (uint64_t)res[0] | (uint64_t)res[1] << 32;
        memcpy(&r, &u, 8);
    }
    save_status(host);
    return PyArray_Scalar(&r, PyArray_DescrFromType(NPY_DOUBLE), NULL);
}

static PyObject *scalar_float(const entry *e, float a, float b) {
    float r;
    uint32_t host = load_status();
    if (all_masked()) {
        r = e->nin == 1 ? ((scalar_f1)e->fscalar)(a) : ((scalar_f2)e->fscalar)(a, b);
    } else {
        uint32_t w[2], res[2];
        size_t nw = put_float(w, a);
        if (e->nin == 2) nw += put_float(w + nw, b);
        call_words(e->ford, w, nw, res);
        if (pending.raised) {
            save_status(host);
            return raise_pending(e->name);
        }
        memcpy(&r, &res[0], 4);
    }
    save_status(host);
    return PyArray_Scalar(&r, PyArray_DescrFromType(NPY_FLOAT), NULL);
}

static PyObject *scalar_yn(const entry *e, int n, double x) {
    double r;
    uint32_t host = load_status();
    if (all_masked()) {
        r = kalm_yn(n, x);
    } else {
        uint32_t w[3], res[2];
        w[0] = (uint32_t)n;
        put_double(w + 1, x);
        call_words(e->dord, w, 3, res);
        if (pending.raised) {
            save_status(host);
            return raise_pending(e->name);
        }
        uint64_t u = (uint64_t)res[0] | (uint64_t)res[1] << 32;
        memcpy(&r, &u, 8);
    }
    save_status(host);
    return PyArray_Scalar(&r, PyArray_DescrFromType(NPY_DOUBLE), NULL);
}

/* ---- the function objects ------------------------------------------------ */

typedef struct {
    PyObject_HEAD
    PyObject *ufunc;
    const entry *e;
} FunctionObject;

static PyTypeObject FunctionType;

static int is_f32(PyObject *o) { return PyArray_IsScalar(o, Float); }

/* An order of yn as a C int, or -1 with an error set (a non-integer, or a
 * value outside 32 bits). */
static int order_of(PyObject *o, int *n) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (v == -1 && PyErr_Occurred()) return -1;
    if (overflow || v < INT32_MIN || v > INT32_MAX) {
        PyErr_Format(PyExc_ValueError, "kalmlib.yn: order %R is outside 32 bits", o);
        return -1;
    }
    *n = (int)v;
    return 0;
}

/* Refuses what has no loop, naming the function and the dtype; returns the
 * argument to pass on (a new reference), or NULL. */
static PyObject *checked_arg(const entry *e, PyObject *o, int is_order) {
    if (!PyArray_Check(o) && !PyArray_IsAnyScalar(o) &&
        PyObject_HasAttrString(o, "__array_ufunc__")) {
        Py_INCREF(o); /* a dask array or another container: it dispatches */
        return o;
    }
    PyArrayObject *a = (PyArrayObject *)PyArray_FROM_O(o);
    if (!a) return NULL;
    PyArray_Descr *d = PyArray_DESCR(a);
    char kind = d->kind;
    if (is_order) {
        if (kind != 'i' && kind != 'u') {
            PyErr_Format(PyExc_TypeError, "kalmlib.yn: the order must be an integer array, not %S", (PyObject *)d);
            goto fail;
        }
        if (PyArray_SIZE(a) > 0 && (d->elsize > 4 || (kind == 'u' && d->elsize == 4))) {
            PyObject *mn = PyArray_Min(a, NPY_MAXDIMS, NULL), *mx = PyArray_Max(a, NPY_MAXDIMS, NULL);
            int bad = 1;
            if (mn && mx) {
                PyObject *lo = PyLong_FromLong(INT32_MIN), *hi = PyLong_FromLong(INT32_MAX);
                bad = PyObject_RichCompareBool(mn, lo, Py_LT) || PyObject_RichCompareBool(mx, hi, Py_GT);
                Py_XDECREF(lo);
                Py_XDECREF(hi);
            }
            Py_XDECREF(mn);
            Py_XDECREF(mx);
            if (bad) {
                if (!PyErr_Occurred())
                    PyErr_SetString(PyExc_ValueError, "kalmlib.yn: an order is outside 32 bits");
                goto fail;
            }
        }
        PyObject *c = PyArray_CastToType(a, PyArray_DescrFromType(NPY_INT32), 0);
        Py_DECREF(a);
        return c;
    }
    if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b') {
        PyErr_Format(PyExc_TypeError, "kalmlib.%s: no loop for %S arguments", e->name, (PyObject *)d);
        goto fail;
    }
    if (!e->dbatch && e->fbatch && !PyArray_CanCastSafely(d->type_num, NPY_FLOAT)) {
        PyErr_Format(PyExc_TypeError,
                     "kalmlib.%s: %S arguments refused: the device has only the float32 export %s", e->name,
                     (PyObject *)d, e->fname);
        goto fail;
    }
    return (PyObject *)a;
fail:
    Py_DECREF(a);
    return NULL;
}

static PyObject *Function_call(FunctionObject *self, PyObject *args, PyObject *kwargs) {
    const entry *e = self->e;
    Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    int no_kw = !kwargs || PyDict_GET_SIZE(kwargs) == 0;
    if (no_kw && nargs == e->nin) {
        PyObject *a = PyTuple_GET_ITEM(args, 0), *b = e->nin == 2 ? PyTuple_GET_ITEM(args, 1) : NULL;
        if (e->fscalar == NULL && e->dscalar == (void *)kalm_yn) {
            if (PyLong_Check(a) && PyFloat_Check(b)) {
                int n;
                if (order_of(a, &n) < 0) return NULL;
                return scalar_yn(e, n, PyFloat_AS_DOUBLE(b));
            }
        } else if (e->dscalar && PyFloat_Check(a) && (!b || PyFloat_Check(b))) {
            return scalar_double(e, PyFloat_AS_DOUBLE(a), b ? PyFloat_AS_DOUBLE(b) : 0.0);
        } else if (e->fscalar && is_f32(a) && (!b || is_f32(b))) {
            return scalar_float(e, PyArrayScalar_VAL(a, Float), b ? PyArrayScalar_VAL(b, Float) : 0.0f);
        } else if (e->fscalar && !e->dscalar && PyFloat_Check(a) && (!b || PyFloat_Check(b))) {
            /* float-only names round a Python float as numpy's cast does */
            return scalar_float(e, (float)PyFloat_AS_DOUBLE(a), b ? (float)PyFloat_AS_DOUBLE(b) : 0.0f);
        }
    }
    if (nargs > e->nin) {
        PyErr_Format(PyExc_TypeError, "kalmlib.%s takes %d argument%s", e->name, e->nin, e->nin == 1 ? "" : "s");
        return NULL;
    }
    PyObject *pass = PyTuple_New(nargs);
    if (!pass) return NULL;
    for (Py_ssize_t i = 0; i < nargs; i++) {
        int is_order = e->dscalar == (void *)kalm_yn && i == 0;
        PyObject *c = checked_arg(e, PyTuple_GET_ITEM(args, i), is_order);
        if (!c) {
            Py_DECREF(pass);
            return NULL;
        }
        PyTuple_SET_ITEM(pass, i, c);
    }
    PyObject *r = PyObject_Call(self->ufunc, pass, kwargs);
    Py_DECREF(pass);
    return r;
}

static void Function_dealloc(FunctionObject *self) {
    Py_XDECREF(self->ufunc);
    Py_TYPE(self)->tp_free((PyObject *)self);
}

static PyObject *Function_getattro(FunctionObject *self, PyObject *name) {
    PyObject *r = PyObject_GenericGetAttr((PyObject *)self, name);
    if (r || !PyErr_ExceptionMatches(PyExc_AttributeError)) return r;
    PyErr_Clear();
    return PyObject_GetAttr(self->ufunc, name); /* nin, types, ntypes, ... */
}

static PyObject *Function_repr(FunctionObject *self) {
    return PyUnicode_FromFormat("<kalmlib function %s>", self->e->name);
}

/* Pickled by name, as the module's attribute (workers import kalmlib). */
static PyObject *Function_reduce(FunctionObject *self, PyObject *unused) {
    (void)unused;
    return PyUnicode_FromString(self->e->name);
}

static PyObject *Function_get_name(FunctionObject *self, void *c) {
    (void)c;
    return PyUnicode_FromString(self->e->name);
}
static PyObject *Function_get_module(FunctionObject *self, void *c) {
    (void)self, (void)c;
    return PyUnicode_FromString("kalmlib");
}
static PyObject *Function_get_doc(FunctionObject *self, void *c) {
    (void)c;
    return PyObject_GetAttrString(self->ufunc, "__doc__");
}
static PyObject *Function_get_ufunc(FunctionObject *self, void *c) {
    (void)c;
    Py_INCREF(self->ufunc);
    return self->ufunc;
}

static PyGetSetDef Function_getset[] = {
    {"__name__", (getter)Function_get_name, NULL, NULL, NULL},
    {"__qualname__", (getter)Function_get_name, NULL, NULL, NULL},
    {"__module__", (getter)Function_get_module, NULL, NULL, NULL},
    {"__doc__", (getter)Function_get_doc, NULL, NULL, NULL},
    {"ufunc", (getter)Function_get_ufunc, NULL, "the numpy ufunc (arrays only, no raises)", NULL},
    {NULL, NULL, NULL, NULL, NULL},
};

static PyMethodDef Function_methods[] = {
    {"__reduce__", (PyCFunction)Function_reduce, METH_NOARGS, NULL},
    {NULL, NULL, 0, NULL},
};

static PyTypeObject FunctionType = {
    PyVarObject_HEAD_INIT(NULL, 0)
    .tp_name = "kalmlib.Function",
    .tp_basicsize = sizeof(FunctionObject),
    .tp_dealloc = (destructor)Function_dealloc,
    .tp_repr = (reprfunc)Function_repr,
    .tp_call = (ternaryfunc)Function_call,
    .tp_getattro = (getattrofunc)Function_getattro,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_methods = Function_methods,
    .tp_getset = Function_getset,
};

/* ---- module functions ---------------------------------------------------- */

static PyObject *m_status(PyObject *m, PyObject *a) {
    (void)m, (void)a;
    return PyLong_FromUnsignedLong(thread_status);
}
static PyObject *m_clear_status(PyObject *m, PyObject *a) {
    (void)m, (void)a;
    thread_status = 0;
    Py_RETURN_NONE;
}
static PyObject *m_control_word(PyObject *m, PyObject *a) {
    (void)m, (void)a;
    return PyLong_FromUnsignedLong(kalm_control_word());
}
static PyObject *m_set_control_word(PyObject *m, PyObject *arg) {
    (void)m;
    unsigned long w = PyLong_AsUnsignedLong(arg);
    if (PyErr_Occurred()) return NULL;
    if (w > 0xFFFFFFFFul) return PyErr_Format(PyExc_ValueError, "control word 0x%lx is wider than 32 bits", w);
    kalm_set_control_word((uint32_t)w);
    Py_RETURN_NONE;
}
static PyObject *m_isa(PyObject *m, PyObject *a) {
    (void)m, (void)a;
    return PyLong_FromLong(kalm_batch_isa());
}
static PyObject *m_set_isa(PyObject *m, PyObject *arg) {
    (void)m;
    long v = PyLong_AsLong(arg);
    if (v == -1 && PyErr_Occurred()) return NULL;
    if (v < INT32_MIN || v > INT32_MAX || kalm_batch_set_isa((int)v) != KALM_OK)
        return PyErr_Format(PyExc_ValueError, "instruction set %ld is not available on this CPU or build", v);
    Py_RETURN_NONE;
}
static PyObject *m_set_errors(PyObject *m, PyObject *d) {
    (void)m;
    if (!PyDict_Check(d)) return PyErr_Format(PyExc_TypeError, "a dict");
    Py_XSETREF(error_classes, (Py_INCREF(d), d));
    Py_RETURN_NONE;
}

/* _evaluate(export, words_per_arg, out_result, out_flags, out_raised, out_lib, *args):
 * every element twice through kalm_call, once with everything masked (result
 * and flags, the flags cleared first) and once with everything unmasked (the
 * first raise). The caller's control word and status are given back. */
static PyObject *m_evaluate(PyObject *m, PyObject *args) {
    (void)m;
    const char *name;
    PyArrayObject *res, *flags, *raised, *lib, *a, *b = NULL;
    if (!PyArg_ParseTuple(args, "sO!O!O!O!O!|O!", &name, &PyArray_Type, &res, &PyArray_Type, &flags,
                          &PyArray_Type, &raised, &PyArray_Type, &lib, &PyArray_Type, &a, &PyArray_Type, &b))
        return NULL;
    const kalm_export *ex = kalm_export_by_name(name);
    if (!ex) return PyErr_Format(PyExc_ValueError, "no export %s", name);
    int sig = ex->signature;
    npy_intp n = PyArray_SIZE(res);
    int nin = (sig == KALM_SIG_D_D || sig == KALM_SIG_F_F) ? 1 : 2;
    if ((nin == 2) != (b != NULL)) return PyErr_Format(PyExc_TypeError, "%s takes %d arrays", name, nin);
    /* The Python side passes C-contiguous arrays of the export's types. */
    const char *pa = PyArray_DATA(a), *pb = b ? PyArray_DATA(b) : NULL;
    char *pr = PyArray_DATA(res);
    uint8_t *pf = PyArray_DATA(flags);
    uint32_t *pq = PyArray_DATA(raised);
    npy_bool *pl = PyArray_DATA(lib);
    int single = sig == KALM_SIG_F_F || sig == KALM_SIG_FF_F;
    uint32_t cw = kalm_control_word(), st = kalm_status();
    Py_BEGIN_ALLOW_THREADS
    for (npy_intp i = 0; i < n; i++) {
        uint32_t w[4], r[2];
        size_t nw = 0;
        if (single) {
            float x;
            memcpy(&x, pa + 4 * i, 4);
            nw += put_float(w, x);
            if (pb) {
                memcpy(&x, pb + 4 * i, 4);
                nw += put_float(w + nw, x);
            }
        } else {
            double x;
            if (sig == KALM_SIG_ID_D) {
                int32_t k;
                memcpy(&k, pa + 4 * i, 4);
                w[nw++] = (uint32_t)k;
                memcpy(&x, pb + 8 * i, 8);
                nw += put_double(w + nw, x);
            } else {
                memcpy(&x, pa + 8 * i, 8);
                nw += put_double(w, x);
                if (pb) {
                    memcpy(&x, pb + 8 * i, 8);
                    nw += put_double(w + nw, x);
                }
            }
        }
        kalm_set_control_word(KALM_MASK_ALL);
        kalm_clear_flags();
        kalm_call(ex->ordinal, w, nw, r, 2, (uintptr_t)&app_site);
        pf[i] = (uint8_t)(kalm_status() & KALM_FLAGS_ALL);
        memcpy(pr + (single ? 4 : 8) * i, r, single ? 4 : 8);
        kalm_set_control_word(0);
        kalm_clear_flags();
        call_words(ex->ordinal, w, nw, r);
        pq[i] = pending.raised ? pending.code : 0;
        pl[i] = (npy_bool)(pending.raised && pending.in_library);
    }
    kalm_set_control_word(cw);
    kalm_set_status(st);
    Py_END_ALLOW_THREADS
    Py_RETURN_NONE;
}

/* The C batch entry itself over a contiguous array, timed by the benchmark
 * beside the ufunc: _batch(name, out, *args). */
static PyObject *m_batch(PyObject *m, PyObject *args) {
    (void)m;
    const char *name;
    PyArrayObject *out, *a, *b = NULL;
    if (!PyArg_ParseTuple(args, "sO!O!|O!", &name, &PyArray_Type, &out, &PyArray_Type, &a, &PyArray_Type, &b))
        return NULL;
    for (size_t i = 0; i < N_ENTRIES; i++) {
        const entry *e = &entries[i];
        if (strcmp(e->name, name) != 0) continue;
        int single = PyArray_TYPE(a) == NPY_FLOAT;
        void *f = single ? e->fbatch : e->dbatch;
        if (!f || (e->nin == 2) != (b != NULL)) break;
        size_t n = (size_t)PyArray_SIZE(out);
        int rc;
        Py_BEGIN_ALLOW_THREADS
        if (e->nin == 1)
            rc = single ? ((batch_f1)f)(PyArray_DATA(a), PyArray_DATA(out), n)
                        : ((batch_d1)f)(PyArray_DATA(a), PyArray_DATA(out), n);
        else
            rc = single ? ((batch_f2)f)(PyArray_DATA(a), PyArray_DATA(b), PyArray_DATA(out), n)
                        : ((batch_d2)f)(PyArray_DATA(a), PyArray_DATA(b), PyArray_DATA(out), n);
        Py_END_ALLOW_THREADS
        return PyLong_FromLong(rc);
    }
    return PyErr_Format(PyExc_ValueError, "no batch entry for %s with these arrays", name);
}

static PyMethodDef module_methods[] = {
    {"status", m_status, METH_NOARGS, "This thread's sticky flags (0x01 invalid, 0x04 overflow, 0x08 underflow, 0x10 inexact)."},
    {"clear_status", m_clear_status, METH_NOARGS, "Clears this thread's sticky flags."},
    {"control_word", m_control_word, METH_NOARGS, "This thread's control word (a set bit masks an exception)."},
    {"set_control_word", m_set_control_word, METH_O, "Sets this thread's control word."},
    {"isa", m_isa, METH_NOARGS, "The instruction set the array path runs on (0 scalar, 1 AVX2, 2 AVX-512, 3 NEON)."},
    {"set_isa", m_set_isa, METH_O, "Selects the array path's instruction set for the whole process."},
    {"_set_errors", m_set_errors, METH_O, NULL},
    {"_evaluate", m_evaluate, METH_VARARGS, NULL},
    {"_batch", m_batch, METH_VARARGS, NULL},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef moduledef = {PyModuleDef_HEAD_INIT, "kalmlib._kalmlib", NULL, -1, module_methods,
                                       NULL, NULL, NULL, NULL};

static int add_function(PyObject *mod, PyObject *public, size_t i) {
    entry *e = &entries[i];
    int nt = 0, nargs = e->nin + 1;
    if (e->dname) e->dord = kalm_export_by_name(e->dname)->ordinal;
    if (e->fname) e->ford = kalm_export_by_name(e->fname)->ordinal;
    if (e->fbatch) {
        loop_funcs[i][nt] = e->nin == 1 ? loop_f1 : loop_f2;
        loop_data[i][nt] = e->fbatch;
        for (int k = 0; k < nargs; k++) loop_types[i][nt * nargs + k] = NPY_FLOAT;
        nt++;
    }
    if (e->dscalar == (void *)kalm_yn) {
        loop_funcs[i][nt] = loop_yn;
        loop_data[i][nt] = NULL;
        loop_types[i][0] = NPY_INT32;
        loop_types[i][1] = NPY_DOUBLE;
        loop_types[i][2] = NPY_DOUBLE;
        nt++;
    } else if (e->dbatch) {
        loop_funcs[i][nt] = e->nin == 1 ? loop_d1 : loop_d2;
        loop_data[i][nt] = e->dbatch;
        for (int k = 0; k < nargs; k++) loop_types[i][nt * nargs + k] = NPY_DOUBLE;
        nt++;
    }
    const char *params = e->nin == 1 ? "x" : e->dscalar == (void *)kalm_yn ? "n, x"
                         : strncmp(e->name, "atan2", 5) == 0 ? "y, x" : "x, y";
    char doc[512];
    PyOS_snprintf(doc, sizeof doc,
                  "%s(%s): %s.\n\nExports: %s%s%s. Bit-exact results on every CPU; a scalar call follows this "
                  "thread's control word (see kalmlib.errstate).",
                  e->name, params, e->contract, e->dname ? e->dname : "", e->dname && e->fname ? ", " : "",
                  e->fname ? e->fname : "");
    /* numpy keeps the pointer: the doc must outlive the ufunc */
    char *keep = PyMem_RawMalloc(strlen(doc) + 1);
    if (!keep) return -1;
    strcpy(keep, doc);
    PyObject *uf = PyUFunc_FromFuncAndData(loop_funcs[i], loop_data[i], loop_types[i], nt, e->nin, 1, PyUFunc_None,
                                           e->name, keep, 0);
    if (!uf) return -1;
    if (PyModule_AddObject(mod, e->name, uf) < 0) {
        Py_DECREF(uf);
        return -1;
    }
    FunctionObject *f = PyObject_New(FunctionObject, &FunctionType);
    if (!f) return -1;
    Py_INCREF(uf);
    f->ufunc = uf;
    f->e = e;
    return PyDict_SetItemString(public, e->name, (PyObject *)f) < 0 ? (Py_DECREF(f), -1) : (Py_DECREF(f), 0);
}

PyMODINIT_FUNC PyInit__kalmlib(void) {
    import_array();
    import_umath();
    if (PyType_Ready(&FunctionType) < 0) return NULL;
    PyObject *mod = PyModule_Create(&moduledef);
    if (!mod) return NULL;
    PyObject *public = PyDict_New();
    if (!public || PyModule_AddObject(mod, "functions", public) < 0) goto fail;
    for (size_t i = 0; i < N_ENTRIES; i++)
        if (add_function(mod, public, i) < 0) goto fail;
    if (PyModule_AddStringConstant(mod, "version", kalm_version()) < 0) goto fail;
    Py_INCREF(&FunctionType);
    if (PyModule_AddObject(mod, "Function", (PyObject *)&FunctionType) < 0) goto fail;
    return mod;
fail:
    Py_DECREF(mod);
    return NULL;
}
