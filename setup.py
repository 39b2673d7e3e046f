# setup.py - the build step of pyproject.toml: the extension module tessgrid._tessgrid comes from
# the project's CMake build (only the module's targets), the package files from app/python.
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    """The one version of the project: CMakeLists.txt's project(tessgrid VERSION ...)."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(\s*tessgrid\s+VERSION\s+([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    """Configures the project with the module on and its tests, benchmarks and commands off, for
    the interpreter that runs the build, and builds the module alone. TESSGRID_CMAKE_BUILD_DIR
    names a build tree to take the module from instead (configured already: only built)."""

    def build_extension(self, ext):
        given = os.environ.get("TESSGRID_CMAKE_BUILD_DIR")
        build = Path(given) if given else Path(self.build_temp).resolve() / "cmake"
        if not (build / "CMakeCache.txt").exists():
            subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build),
                            "-DCMAKE_BUILD_TYPE=Release", "-DTESSGRID_PYTHON=ON",
                            "-DTESSGRID_TOOL=OFF", "-DTESSGRID_TESTS=OFF", "-DTESSGRID_BENCH=OFF",
                            "-DTESSGRID_INSTALL=OFF", "-DPython_EXECUTABLE=" + sys.executable],
                           check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "tessgrid_python",
                        "--parallel", jobs], check=True)
        built = sorted((build / "python" / "tessgrid").glob("_tessgrid*.so"))
        if not built:
            raise RuntimeError("the CMake build in %s made no tessgrid/_tessgrid module" % build)
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(
    version=project_version(),
    packages=["tessgrid"],
    package_dir={"": "app/python"},
    package_data={"tessgrid": ["py.typed", "*.pyi"]},
    ext_modules=[Extension("tessgrid._tessgrid", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
