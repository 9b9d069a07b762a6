"""Builds ineqbf._core with CMake: the repository's root CMakeLists.txt with
-DINEQBF_PYTHON=ON, its target ineqbf_python, for the Python running this."""

import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent.parent


def version() -> str:
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(ineqbf VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        subprocess.check_call(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                               "-DINEQBF_PYTHON=ON", "-DINEQBF_TESTS=OFF", f"-DPython_EXECUTABLE={sys.executable}"])
        subprocess.check_call(["cmake", "--build", str(build), "-j2", "--target", "ineqbf_python"])
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(build / "python" / "ineqbf" / target.name, target)


setup(version=version(), ext_modules=[Extension("ineqbf._core", sources=[])], cmdclass={"build_ext": CMakeBuild})
