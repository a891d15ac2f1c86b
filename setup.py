"""Builds the vantel wheel: the package's Python files from python/vantel and
the extension vantel._vantel from the engine, through the project's CMake.

    python3 -m build --wheel --no-isolation

The extensions are built for the interpreter that runs the build (a virtual
environment's too) without the window, its tests or benchmarks: vantel._vantel
links no Qt and no PulseAudio; vantel._sound, which only vantel-copy loads,
links PulseAudio's client library (Debian: libpulse-dev to build).
VANTEL_CMAKE_BUILD_DIR names an existing CMake build folder to take the
extensions from instead of configuring one.
"""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
CMAKE_TARGETS = {"_vantel": "vantel_python", "_sound": "vantel_sound_python"}
# Not build/: that is the CMake build folder of the set-up scripts.
BUILD_BASE = "build-wheel"
(ROOT / BUILD_BASE).mkdir(exist_ok=True)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        given = os.environ.get("VANTEL_CMAKE_BUILD_DIR")
        folder = pathlib.Path(given) if given else pathlib.Path(self.build_temp).resolve() / "cmake"
        if not given:
            subprocess.run(["cmake", "-S", str(ROOT), "-B", str(folder), "-G", "Ninja",
                            "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DVANTEL_BUILD_UI=OFF",
                            "-DVANTEL_BUILD_TESTS=OFF", "-DVANTEL_BUILD_BENCH=OFF",
                            f"-DVANTEL_PYTHON={sys.executable}"], check=True)
        module = ext.name.rpartition(".")[2]
        subprocess.run(["cmake", "--build", str(folder), "--target", CMAKE_TARGETS[module]], check=True)
        built = sorted((folder / "python" / "vantel").glob(f"{module}*.so"))
        if len(built) != 1:
            raise RuntimeError(f"expected one {module} extension in {folder}, found {len(built)}")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)
        # The debugging symbols are most of the file and change no instruction.
        if shutil.which("strip"):
            subprocess.run(["strip", "--strip-debug", str(target)], check=True)


setup(
    ext_modules=[Extension("vantel._vantel", sources=[]), Extension("vantel._sound", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
)
