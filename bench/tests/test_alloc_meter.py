import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

BENCH = Path(__file__).resolve().parent.parent

PROBE = """
import ctypes, json, os
meter = ctypes.CDLL(os.environ["ALLOC_METER"])
meter.alloc_meter_peak.restype = ctypes.c_longlong
meter.alloc_meter_count.restype = ctypes.c_longlong
out = {}
meter.alloc_meter_reset()
block = bytearray(1 << 20)
out["one_mib"] = [meter.alloc_meter_peak(), meter.alloc_meter_count()]
del block
meter.alloc_meter_reset()
out["after_free"] = [meter.alloc_meter_peak(), meter.alloc_meter_count()]
meter.alloc_meter_reset()
grow = bytearray(1000)
for _ in range(12):
    grow.extend(grow)  # realloc up to 4 MiB
del grow
out["grown"] = [meter.alloc_meter_peak(), meter.alloc_meter_count()]
print(json.dumps(out))
"""


@pytest.mark.skipif(not sys.platform.startswith("linux") or shutil.which("cc") is None,
                    reason="the meter is preloaded into glibc programs and needs a C compiler")
def test_the_meter_sees_the_peak_of_a_window(tmp_path):
    library = tmp_path / "alloc_meter.so"
    subprocess.run(["cc", "-O2", "-shared", "-fPIC", str(BENCH / "alloc_meter.c"), "-o",
                    str(library)], check=True)
    env = dict(os.environ, LD_PRELOAD=str(library), ALLOC_METER=str(library))
    done = subprocess.run([sys.executable, "-c", PROBE], env=env, capture_output=True, text=True,
                          check=True)
    out = json.loads(done.stdout)
    peak, count = out["one_mib"]
    assert (1 << 20) <= peak < (1 << 20) + 64 * 1024 and count >= 1
    assert out["after_free"] == [0, 0]
    peak, count = out["grown"]
    assert 4096 * 1000 <= peak < 3 * 4096 * 1000 and count >= 12
