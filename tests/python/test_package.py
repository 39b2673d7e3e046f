# tests/python/test_package.py - tessgrid as an installed Python package: its stubs state the
# extension as it is, its functions have signatures, its version is the project's, and pip
# installs it and builds its wheel.
import ast
import inspect
import os
import pathlib
import re
import subprocess
import sys
import zipfile

import pytest

import tessgrid
from tessgrid import _tessgrid

ROOT = pathlib.Path(__file__).resolve().parents[2]
PACKAGE = pathlib.Path(tessgrid.__file__).resolve().parent


def split_top(text):
    # Splits at the commas outside brackets and quotes.
    parts, depth, quote, current = [], 0, None, ""
    for char in text:
        if quote:
            quote = None if char == quote else quote
        elif char in "'\"":
            quote = char
        elif char in "([{<":
            depth += 1
        elif char in ")]}>":
            depth -= 1
        elif char == "," and depth == 0:
            parts.append(current.strip())
            current = ""
            continue
        current += char
    return parts + ([current.strip()] if current.strip() else [])


def bound_parameters(function, name):
    """(name, keyword-only, has a default) of each parameter pybind11 states in the docstring's
    signature line, self left out; *args and **kwargs as '*args' and '**kwargs'."""
    line = function.__doc__.splitlines()[0]
    assert line.startswith(name + "("), line
    inside = line[len(name) + 1:line.rindex(") -> ")]
    params, keyword_only = [], False
    for part in split_top(inside):
        if part == "*":
            keyword_only = True
            continue
        word = part.split(":")[0].split("=")[0].strip()
        if word.startswith("*"):
            params.append((word, True, False))
            keyword_only = True
        elif word != "self":
            params.append((word, keyword_only, "=" in part))
    return params


def stub_parameters(node):
    arguments = node.args
    positional = arguments.posonlyargs + arguments.args
    defaults = [False] * (len(positional) - len(arguments.defaults)) + [True] * len(
        arguments.defaults)
    params = [(a.arg, False, d) for a, d in zip(positional, defaults) if a.arg != "self"]
    if arguments.vararg:
        params.append(("*" + arguments.vararg.arg, True, False))
    params += [(a.arg, True, d is not None)
               for a, d in zip(arguments.kwonlyargs, arguments.kw_defaults)]
    if arguments.kwarg:
        params.append(("**" + arguments.kwarg.arg, True, False))
    return params


def test_stubs_state_the_extensions_functions_and_their_parameters():
    stub = ast.parse((PACKAGE / "_tessgrid.pyi").read_text())
    functions = {node.name: node for node in stub.body if isinstance(node, ast.FunctionDef)}
    grid_stub = next(node for node in stub.body
                     if isinstance(node, ast.ClassDef) and node.name == "Grid")
    methods = {node.name: node for node in grid_stub.body if isinstance(node, ast.FunctionDef)}
    bound = {name for name, value in vars(_tessgrid).items()
             if callable(value) and not isinstance(value, type)}
    # The raster writers of tessgrid.dask.to_raster are bound only with GDAL.
    raster_only = set() if _tessgrid.has_rasters else {"_stage_raster", "_write_raster_chunk",
                                                      "_place_raster_chunk"}
    assert sorted(bound) == sorted(set(functions) - raster_only)
    for name in bound:
        assert stub_parameters(functions[name]) == bound_parameters(getattr(_tessgrid, name),
                                                                    name), name
    grid_methods = {name for name, value in vars(_tessgrid.Grid).items()
                    if callable(value) and (not name.startswith("__") or name in (
                        "__init__", "__getstate__", "__setstate__", "__repr__"))}
    assert sorted(grid_methods) == sorted(name for name in methods if name not in (
        "shape", "dtype", "bounds", "transform"))
    for name in grid_methods:
        assert stub_parameters(methods[name]) == bound_parameters(
            getattr(_tessgrid.Grid, name), name), name
    properties = {name for name, value in vars(_tessgrid.Grid).items()
                  if isinstance(value, property)}
    stated = {node.target.id for node in grid_stub.body if isinstance(node, ast.AnnAssign)}
    assert properties == stated | {"shape", "dtype", "bounds", "transform"}
    assert (PACKAGE / "py.typed").exists()
    # The package's own functions are Python functions: signatures for IDEs and help().
    import tessgrid.dask
    for module, names in ((tessgrid, [n for n in tessgrid.__all__ if n not in (
            "Error", "Grid", "__version__", "has_rasters")]),
            (tessgrid.dask, ["calc", "average", "resample", "to_raster"])):
        for name in names:
            assert inspect.signature(getattr(module, name)).parameters, name
    assert list(inspect.signature(tessgrid.calc).parameters)[:3] == ["expr", "nodata", "threads"]


def test_the_version_is_the_projects():
    declared = re.search(r"project\(\s*tessgrid\s+VERSION\s+([0-9.]+)",
                         (ROOT / "CMakeLists.txt").read_text()).group(1)
    assert tessgrid.__version__ == declared


def test_pip_installs_the_package_and_builds_its_wheel(tmp_path):
    # The build tree the tests run from gives the module (setup.py builds only its target
    # there), so that pip need not build the library a second time.
    build = PACKAGE.parents[1]
    if not (build / "CMakeCache.txt").exists():
        pytest.skip("the module does not come from a CMake build tree")
    if subprocess.run([sys.executable, "-m", "pip", "--version"],
                      capture_output=True).returncode != 0:
        pytest.skip("this Python has no pip")
    environment = dict(os.environ, TESSGRID_CMAKE_BUILD_DIR=str(build),
                       CMAKE_BUILD_PARALLEL_LEVEL="2", PIP_NO_INDEX="1",
                       PIP_DISABLE_PIP_VERSION_CHECK="1")
    environment.pop("PYTHONPATH", None)
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)],
                   check=True)
    python = str(venv / "bin" / "python")
    for command in ([python, "-m", "pip", "install", "--no-build-isolation", str(ROOT)],
                    [python, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps",
                     "-w", str(tmp_path / "wheels"), str(ROOT)]):
        done = subprocess.run(command, capture_output=True, text=True, env=environment,
                              cwd=tmp_path)
        assert done.returncode == 0, done.stdout + done.stderr
    # Run from elsewhere than the source tree, so that only the installed package can answer.
    script = ("import importlib.metadata, numpy, pathlib, tessgrid\n"
              "print(tessgrid.__version__, importlib.metadata.version('tessgrid'))\n"
              "print(pathlib.Path(tessgrid.__file__).is_relative_to(pathlib.Path('%s')))\n"
              "print(numpy.asarray(tessgrid.average([[[1.0]], [[3.0]]]))[0, 0])\n" % venv)
    shown = subprocess.run([python, "-c", script], capture_output=True, text=True,
                           env=environment, cwd=tmp_path)
    assert shown.stdout.split() == [tessgrid.__version__, tessgrid.__version__, "True",
                                    "2.0"], shown.stderr
    wheel, = (tmp_path / "wheels").glob("tessgrid-%s-*.whl" % tessgrid.__version__)
    names = zipfile.ZipFile(wheel).namelist()
    for part in ("tessgrid/__init__.py", "tessgrid/dask.py", "tessgrid/xarray.py",
                 "tessgrid/_tessgrid.pyi", "tessgrid/py.typed"):
        assert part in names
    assert any(re.fullmatch(r"tessgrid/_tessgrid\..*\.so", name) for name in names)
