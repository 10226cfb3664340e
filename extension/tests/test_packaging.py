"""The wheel that `pip wheel .` builds: one abi3 wheel for CPython 3.11 and later, its tags,
contents and metadata, an abi3audit scan, and `import vyr` from fresh virtual environments.

The wheel is built once per test session (the build reuses the source tree's wheel build
directory, so after `pip install .` it mostly relinks)."""

import json
import os
import re
import shutil
import subprocess
import sys
import zipfile
from email.parser import HeaderParser
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
MINIMUM_MINOR = 11


def run(*args, cwd=None):
    completed = subprocess.run(
        [str(a) for a in args], cwd=cwd, capture_output=True, text=True, timeout=900
    )
    assert completed.returncode == 0, completed.stdout + completed.stderr
    return completed


@pytest.fixture(scope="session")
def wheel(tmp_path_factory):
    out = tmp_path_factory.mktemp("wheelhouse")
    run(
        sys.executable,
        "-m",
        "pip",
        "wheel",
        "--no-deps",
        "--disable-pip-version-check",
        "--quiet",
        "--wheel-dir",
        out,
        ROOT,
    )
    wheels = list(out.iterdir())
    assert len(wheels) == 1 and wheels[0].suffix == ".whl", wheels
    return wheels[0]


def read(wheel, suffix):
    with zipfile.ZipFile(wheel) as archive:
        (name,) = [n for n in archive.namelist() if n.endswith(suffix)]
        return archive.read(name).decode()


def test_one_abi3_wheel_for_cpython_311_on(wheel):
    name, version, python_tag, abi_tag, platform_tag = wheel.stem.split("-")
    assert (name, python_tag, abi_tag) == ("vyr", "cp311", "abi3")
    assert platform_tag.startswith("linux_") or platform_tag.startswith("manylinux")
    header = HeaderParser().parsestr(read(wheel, ".dist-info/WHEEL"))
    assert header.get_all("Tag") == [f"cp311-abi3-{platform_tag}"]
    assert header["Root-Is-Purelib"] == "false"
    cmake_version = re.search(
        r"project\(vyr VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()
    )
    assert version == cmake_version.group(1)


def test_contents_are_the_module_and_its_stubs(wheel):
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
    payload = {n for n in names if ".dist-info/" not in n}
    assert payload == {"vyr.abi3.so", "vyr-stubs/__init__.pyi"}
    source = (ROOT / "extension" / "stubs" / "vyr-stubs" / "__init__.pyi").read_text()
    assert read(wheel, "vyr-stubs/__init__.pyi") == source


def test_metadata_is_complete(wheel):
    metadata = HeaderParser().parsestr(read(wheel, ".dist-info/METADATA"))
    for field in ("Name", "Version", "Summary", "License", "Author", "Requires-Python"):
        assert metadata[field], field
    assert metadata["Requires-Python"] == ">=3.11"
    assert metadata.get_content_type() == "text/plain"  # the body is the README
    assert metadata["Description-Content-Type"] == "text/markdown"
    classifiers = metadata.get_all("Classifier")
    assert "License :: OSI Approved :: MIT License" in classifiers
    assert "Typing :: Typed" in classifiers
    minors = sorted(
        int(c.rsplit(".", 1)[1])
        for c in classifiers
        if re.fullmatch(r"Programming Language :: Python :: 3\.\d+", c)
    )
    assert minors[0] == MINIMUM_MINOR and minors == list(range(minors[0], minors[-1] + 1))
    labels = {url.split(",")[0] for url in metadata.get_all("Project-URL")}
    assert {"Homepage", "Documentation", "Source", "Issues"} <= labels
    assert {"plot", "dask", "test"} <= set(metadata.get_all("Provides-Extra"))
    # The module depends on nothing: every requirement belongs to an extra.
    assert all("extra ==" in requirement for requirement in metadata.get_all("Requires-Dist"))


def test_abi3audit(wheel, tmp_path):
    report = tmp_path / "report.json"
    run(sys.executable, "-m", "abi3audit", "--strict", "--report", "--output", report, wheel)
    (extension,) = json.loads(report.read_text())["specs"][str(wheel)]["wheel"]
    result = extension["result"]
    assert extension["name"] == "vyr.abi3.so"
    assert result["is_abi3"] and result["is_abi3_baseline_compatible"]
    assert result["non_abi3_symbols"] == [] and result["future_abi3_objects"] == {}
    assert tuple(map(int, result["computed"].split("."))) <= (3, MINIMUM_MINOR)


def interpreters():
    """One CPython per minor version from 3.11 on that this machine has, the running one first."""
    found = {sys.version_info[:2]: sys.executable}
    pyenv = Path(os.environ.get("PYENV_ROOT", Path.home() / ".pyenv")) / "versions"
    for minor in range(MINIMUM_MINOR, 15):
        candidates = [shutil.which(f"python3.{minor}")]
        candidates += sorted(str(p / "bin" / "python3") for p in pyenv.glob(f"3.{minor}.*"))
        for candidate in filter(None, candidates):
            if (3, minor) in found:
                break
            try:
                probe = subprocess.run(
                    [candidate, "-c", "import sys, venv; print(sys.version_info[1])"],
                    capture_output=True,
                    text=True,
                    timeout=60,
                )
            except OSError:
                continue
            if probe.returncode == 0 and probe.stdout.strip() == str(minor):
                found[(3, minor)] = candidate
    return [pytest.param(path, id=f"{major}.{minor}") for (major, minor), path in found.items()]


@pytest.mark.parametrize("python", interpreters())
def test_installs_and_imports_in_a_fresh_venv(wheel, tmp_path, python):
    environment = tmp_path / "venv"
    run(python, "-m", "venv", environment)
    venv_python = environment / "bin" / "python"
    run(
        venv_python,
        "-m",
        "pip",
        "install",
        "--quiet",
        "--disable-pip-version-check",
        "--no-index",
        "--no-deps",
        wheel,
    )
    check = (
        "import pathlib, sys, vyr\n"
        "from datetime import datetime, timezone\n"
        "assert pathlib.Path(vyr.__file__).parent == pathlib.Path(sys.prefix).joinpath(\n"
        "    'lib', f'python{sys.version_info[0]}.{sys.version_info[1]}', 'site-packages')\n"
        "assert (pathlib.Path(vyr.__file__).parent / 'vyr-stubs' / '__init__.pyi').is_file()\n"
        "utc = timezone.utc\n"
        "act = vyr.DayCountConvention.ACT_365_FIXED\n"
        "market = vyr.OptionMarketFrame(100, vyr.RateCurve.continuous(0.05, act),\n"
        "                               vyr.VolSurface.flat(0.2, act))\n"
        "option = vyr.VanillaOption(100, datetime(2027, 1, 1, tzinfo=utc), vyr.OptionType.Call,\n"
        "                           vyr.ExerciseStyle.European)\n"
        "print(option.valuation().market(market).at(datetime(2026, 1, 1, tzinfo=utc)).compute())\n"
    )
    completed = run(venv_python, "-c", check, cwd=tmp_path)
    assert completed.stdout == "<OptionResult price=10.4506>\n"
