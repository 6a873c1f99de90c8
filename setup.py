# SPDX-License-Identifier: MIT
"""Builds the static library with CMake, then the extension against it.

The version is the C library's, read from its public header."""
import os
import re
import subprocess
import sys

import numpy
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))


def library_version():
    text = open(os.path.join(HERE, "include", "kalmlib", "kalmlib.h"), encoding="utf-8").read()
    parts = [re.search(r"#define KALM_VERSION_%s +(\d+)" % p, text).group(1) for p in ("MAJOR", "MINOR", "PATCH")]
    return ".".join(parts)


class CMakeBuildExt(build_ext):
    """Configures this repository with only the library switched on and
    builds its static target; the extension links libkalmlib.a."""

    def run(self):
        build = os.path.abspath(os.path.join(self.build_temp, "kalmlib-cmake"))
        off = ["KALM_TESTS", "KALM_TOOLS", "KALM_CHECK", "KALM_EXAMPLES", "KALM_BENCH", "KALM_ADAPTERS",
               "KALM_LIBM", "KALM_INSTALL"]
        cfg = ["cmake", "-S", HERE, "-B", build, "-DCMAKE_BUILD_TYPE=Release"] + ["-D%s=OFF" % o for o in off]
        if subprocess.call(["ninja", "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) == 0:
            cfg += ["-G", "Ninja"]
        subprocess.check_call(cfg, stdout=sys.stderr)
        jobs = os.environ.get("KALM_BUILD_JOBS", str(os.cpu_count() or 2))
        subprocess.check_call(["cmake", "--build", build, "--target", "kalmlib_static", "-j", jobs],
                              stdout=sys.stderr)
        archive = os.path.join(build, "libkalmlib.a")
        for ext in self.extensions:
            ext.extra_objects = [archive]
            # relinked whenever the library (or how it is linked) changed
            ext.depends = list(ext.depends) + [archive, os.path.join(HERE, "setup.py")]
        super().run()


setup(
    version=library_version(),
    ext_modules=[
        Extension(
            "kalmlib._kalmlib",
            sources=["python/kalmlib/_kalmlib.c"],
            include_dirs=[os.path.join("include"), numpy.get_include()],
            define_macros=[("KALMLIB_STATIC", "1")],
            extra_compile_args=["-std=c11", "-O2"],
            # the library is C++ inside (exceptions, thread_local); its
            # symbols stay inside the extension, so that another copy of
            # kalmlib loaded in the same process cannot take their place
            extra_link_args=["-lstdc++", "-Wl,--exclude-libs,ALL"],
        )
    ],
    cmdclass={"build_ext": CMakeBuildExt},
)
