"""What every benchmark run records: the machine, the printed report and JSON-ready figures."""

import dataclasses
import math
import os
import platform
import time

import QuantLib as ql


def machine():
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return {
        "cpu": f"{cpu}, {os.cpu_count()} cores",
        "system": f"{platform.system()} {platform.release()}",
        "python": platform.python_version(),
        "quantlib": ql.__version__,
        "load_average": os.getloadavg() if hasattr(os, "getloadavg") else None,
        "date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
    }


class Report:
    """Collects what is printed, so that it can also be written to a file."""

    def __init__(self):
        self.parts = []

    def __call__(self, text=""):
        print(text, flush=True)
        self.parts.append(text)

    def text(self):
        return "\n".join(self.parts) + "\n"


def jsonable(value):
    """The value with dataclasses as dicts, tuples as lists and NaN or infinities as strings."""
    if dataclasses.is_dataclass(value) and not isinstance(value, type):
        return jsonable(dataclasses.asdict(value))
    if isinstance(value, dict):
        return {str(k): jsonable(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [jsonable(v) for v in value]
    if isinstance(value, float) and not math.isfinite(value):
        return str(value)
    return value
