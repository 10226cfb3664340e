"""The scripts in examples/ run as a user runs them, on small inputs, and print true results."""

import re
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def run_example(name, *args, cwd):
    completed = subprocess.run(
        [sys.executable, str(EXAMPLES / name), *map(str, args)],
        cwd=cwd,
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert completed.returncode == 0, completed.stdout + completed.stderr
    return completed.stdout


def numbers(line):
    return [float(x) for x in re.findall(r"-?\d+\.\d+", line)]


def documented_output(name):
    """The output lines docs/examples.md shows for a run of examples/<name>."""
    blocks = re.findall(
        r"```console\n\$ python examples/(\S+)[^\n]*\n(.*?)```",
        (ROOT / "docs" / "examples.md").read_text(),
        re.S,
    )
    (output,) = [text for script, text in blocks if script == name]
    return [line for line in output.splitlines() if not line.startswith("plot written to")]


def assert_documented(name, lines):
    shown = [line for line in lines if not line.startswith("plot written to")]
    assert shown == documented_output(name)


def assert_png(path):
    assert path.read_bytes()[:8] == PNG_SIGNATURE
    assert path.stat().st_size > 10_000  # a drawn figure, not an empty canvas


def test_quickstart(tmp_path):
    lines = run_example("quickstart.py", cwd=tmp_path).splitlines()
    rows = [line for line in lines if line.startswith(("European", "American"))]
    # 12 European options priced two ways and 12 American options on the grid.
    assert len(rows) == 36
    for row in rows:
        implied = numbers(row)[-1]
        assert abs(implied - 0.25) < 1e-3, row


def test_option_chain_smile(tmp_path):
    output = tmp_path / "smile.png"
    lines = run_example("option_chain_smile.py", "--output", output, cwd=tmp_path).splitlines()
    rows = [line for line in lines if re.match(r"\s+\d+\.\d \d", line)]
    assert_documented("option_chain_smile.py", lines)
    assert len(rows) == 17
    for row in rows:
        strike, smile, call_bid, call_ask, call_vol, put_bid, put_ask, put_vol = numbers(row)
        assert call_bid < call_ask and put_bid < put_ask
        # Quotes on a one-cent tick move the implied volatility by little, most in the wings.
        assert abs(call_vol - smile) < 2e-3 and abs(put_vol - smile) < 2e-3, row
    assert_png(output)


def test_early_exercise_premium(tmp_path):
    output = tmp_path / "premium.png"
    lines = run_example("early_exercise_premium.py", "--output", output, cwd=tmp_path).splitlines()
    rows = {
        numbers(line)[0]: numbers(line)[1:] for line in lines if re.match(r"\s+\d+\.0 \|", line)
    }
    assert_documented("early_exercise_premium.py", lines)
    assert sorted(rows) == [60.0 + 10 * i for i in range(9)]
    for spot, row in rows.items():
        put_am, put_eu, put_premium, put_closed, call_am, call_eu, call_premium = row
        assert put_premium >= 0 and call_premium >= 0
        assert put_am >= max(100 - spot, 0) - 1e-4  # never below the exercise value
        assert call_am >= max(spot - 100, 0) - 1e-4
        assert abs(put_eu - put_closed) < 2e-3  # the grid's European put is the closed form's
    assert rows[60.0][0] == pytest.approx(40.0, abs=1e-4)  # deep in the money: exercised
    assert rows[140.0][6] > rows[100.0][6] > rows[60.0][6]  # the dividend pays in the money
    assert_png(output)


def test_american_methods(tmp_path):
    lines = run_example("american_methods.py", "--repeats", 1, cwd=tmp_path).splitlines()
    timing = lines.index("median time per price:")
    # The prices as documented; the times vary.
    assert lines[:timing + 1] == documented_output("american_methods.py")[:timing + 1]
    assert len(lines) == timing + 6
    rows = [numbers(line) for line in lines if re.match(r"\s+\d+\.0 ", line)]
    assert len(rows) == 9
    for strike, closed, coarse, fine, fixed, reference, fixed_error, fine_error, premium in rows:
        assert abs(fixed - reference) < 1e-6 and abs(fine - reference) < 5e-4
        assert premium > 0 and reference > max(strike - 100.0, 0.0)


def test_parallel_book(tmp_path):
    output = run_example(
        "parallel_book.py",
        "--size",
        120,
        "--workers",
        2,
        "--chunk",
        30,
        "--time-steps",
        50,
        "--grid-nodes",
        101,
        cwd=tmp_path,
    )
    assert "120 options on a 101 x 50 grid, 4 tasks of up to 30" in output
    for pool in ("processes", "threads", "threads, value_many"):
        assert re.search(rf"2 {pool} +\d+\.\d+ s +speed-up \d+\.\d\dx on \d+ cores", output)
    assert re.search(r"serial, value_many +\d+\.\d+ s", output)


@pytest.fixture(scope="module")
def book():
    sys.path.insert(0, str(EXAMPLES))
    try:
        import book
    finally:
        sys.path.remove(str(EXAMPLES))
    return book


def expected_totals(book, size):
    market = book.make_market()
    rows = book.make_book(size, market)
    value, delta = book.book_totals(rows, book.price_rows(market, rows, book.Grid(50, 101)))
    return f"book value {value:.4f}, book delta {delta:.4f}"


def test_dask_book_on_its_own_local_cluster(tmp_path, book):
    output = run_example(
        "dask_book.py",
        "--size",
        60,
        "--workers",
        2,
        "--chunk",
        20,
        "--time-steps",
        50,
        "--grid-nodes",
        101,
        cwd=tmp_path,
    )
    assert "60 options on a 101 x 50 grid, 3 tasks on 2 workers" in output
    assert expected_totals(book, 60) in output


def test_dask_book_on_a_scheduler_address(tmp_path, book):
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(
        n_workers=1, threads_per_worker=1, processes=True, dashboard_address=None
    ) as cluster:
        output = run_example(
            "dask_book.py",
            "--scheduler",
            cluster.scheduler_address,
            "--size",
            40,
            "--chunk",
            20,
            "--time-steps",
            50,
            "--grid-nodes",
            101,
            cwd=tmp_path,
        )
    assert "40 options on a 101 x 50 grid, 2 tasks on 1 workers" in output
    assert expected_totals(book, 40) in output
