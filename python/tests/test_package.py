"""The package against the tree it belongs to: its version, its result
codes and its README's example, run as written."""

import os
import re
import shutil
import subprocess
import sys

import kestrel
from conftest import PYTHON_DIR, SOURCE_DIR


def test_version_is_the_projects():
    cmake = (SOURCE_DIR / "CMakeLists.txt").read_text()
    version = re.search(r"project\(Kestrel VERSION (\S+)", cmake).group(1)
    assert kestrel.__version__ == version


def test_result_codes_are_the_headers():
    header = (SOURCE_DIR / "include" / "kestrel" / "kestrel.h").read_text()
    codes = {name: int(value) for name, value in re.findall(r"\bRDR_(\w+) = (-?\d+)", header)}
    assert codes, "no result codes in kestrel.h"
    assert {r.name: r.value for r in kestrel.Result} == codes
    for code in kestrel.Result:
        assert kestrel.KestrelError("op", code).meaning != "unknown result code"


def test_readme_example_runs_as_written(tmp_path):
    readme = (PYTHON_DIR / "README.md").read_text()
    blocks = re.findall(r"```python\n(.*?)```", readme, re.S)
    outputs = re.findall(r"prints\n\n```\n(.*?)```", readme, re.S)
    assert len(blocks) == 1 and len(outputs) == 1
    env = dict(os.environ, PYTHONPATH=str(PYTHON_DIR))
    if env.get("KESTREL_LIBDIR"):
        env["KESTREL_LIBDIR"] = os.path.abspath(env["KESTREL_LIBDIR"])
    run = subprocess.run([sys.executable, "-c", blocks[0]], capture_output=True, text=True, env=env,
                         cwd=tmp_path, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout == outputs[0]


def test_pip_installs_the_package(tmp_path):
    """pip builds and installs a copy of python/ without an index, with the
    backend the system provides."""
    source = tmp_path / "source"
    shutil.copytree(PYTHON_DIR, source, ignore=shutil.ignore_patterns("tests", "build", "*.egg-info",
                                                                      "__pycache__"))
    target = tmp_path / "site"
    run = subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-index",
                          "--no-deps", "--target", str(target), str(source)],
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stdout + run.stderr
    assert (target / "kestrel" / "py.typed").is_file()
    env = dict(os.environ, PYTHONPATH=str(target))
    check = subprocess.run([sys.executable, "-c", "import kestrel; print(kestrel.__file__, kestrel.__version__)"],
                           capture_output=True, text=True, env=env, cwd=tmp_path, timeout=60)
    assert check.stdout.split() == [str(target / "kestrel" / "__init__.py"), kestrel.__version__], check.stderr
