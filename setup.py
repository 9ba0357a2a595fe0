"""Builds the shared library with CMake into the package, and tags the wheel for the platform.

The package is pure Python over the library's C interface (ctypes), so the wheel holds no
Python extension: its tag is py3-none-<platform>, never "any", as the library inside is built
for one system. The CMake build goes to TOLVANE_WHEEL_BUILD (default build-python/).
"""
import os
import pathlib
import re
import shutil
import subprocess

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

try:  # setuptools 70 and later carry the command themselves
    from setuptools.command.bdist_wheel import bdist_wheel
except ImportError:
    from wheel.bdist_wheel import bdist_wheel

ROOT = pathlib.Path(__file__).resolve().parent
BUILD = pathlib.Path(os.environ.get("TOLVANE_WHEEL_BUILD", ROOT / "build-python")).resolve()
# The name the package's loader looks for in its own folder.
LIBRARY = "tolvane.dll" if os.name == "nt" else "libtolvane.so.1"


def project_version() -> str:
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(Tolvane\s+VERSION\s+([0-9.]+)", text).group(1)


class BuildWithLibrary(build_py):
    """Copies the package as usual, then builds the library and puts it inside the package."""

    def run(self) -> None:
        super().run()
        cmake_build = BUILD / "cmake"
        subprocess.check_call([
            "cmake", "-S", str(ROOT), "-B", str(cmake_build), "-DCMAKE_BUILD_TYPE=Release",
            "-DBUILD_SHARED_LIBS=ON", "-DTOLVANE_BUILD_TESTS=OFF",
            "-DTOLVANE_BUILD_TOOLS=OFF", "-DTOLVANE_BUILD_BENCH=OFF"])
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.check_call(["cmake", "--build", str(cmake_build), "--config", "Release",
                               "--target", "tolvane", "--parallel", jobs])
        built = [path for path in (cmake_build / "tolvane" / LIBRARY,
                                   cmake_build / "tolvane" / "Release" / LIBRARY,
                                   cmake_build / "bin" / LIBRARY) if path.exists()]
        if not built:
            raise RuntimeError(f"the build made no {LIBRARY} under {cmake_build}")
        # The file itself, not the link the build makes under the SONAME.
        target = pathlib.Path(self.build_lib) / "tolvane" / LIBRARY
        shutil.copyfile(built[0], target)
        os.chmod(target, 0o755)


class BinaryDistribution(Distribution):
    """Installs into the platform's folder (platlib), as a package with native code must."""

    def has_ext_modules(self) -> bool:
        return True


class PlatformWheel(bdist_wheel):
    """A wheel for this platform that any Python 3 of it loads: py3-none-<platform>."""

    def get_tag(self) -> tuple:
        return "py3", "none", super().get_tag()[2]


BUILD.mkdir(parents=True, exist_ok=True)  # egg_info wants its folder to exist
setup(
    version=project_version(),
    distclass=BinaryDistribution,
    cmdclass={"build_py": BuildWithLibrary, "bdist_wheel": PlatformWheel},
    options={"build": {"build_base": str(BUILD)}, "egg_info": {"egg_base": str(BUILD)}},
)
