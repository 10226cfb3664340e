"""The type stubs against the installed module: stubtest, mypy --strict over the typed usage
file and the examples, and a walk of both that compares every class, member, text signature,
class attribute and return type, so the two cannot drift apart."""

import ast
import runpy
from array import array
import subprocess
import sys
from datetime import date, datetime, timezone
from pathlib import Path

import pytest

import vyr

ROOT = Path(__file__).resolve().parents[2]
SOURCE_STUB = ROOT / "extension" / "stubs" / "vyr-stubs" / "__init__.pyi"
ALLOWLIST = ROOT / "extension" / "stubs" / "stubtest-allowlist.txt"
INSTALLED_STUB = Path(vyr.__file__).parent / "vyr-stubs" / "__init__.pyi"
TYPED_USAGE = Path(__file__).with_name("typed_usage.py")
EXAMPLES = ROOT / "examples"
DISALLOW_INSTANTIATION = 1 << 7  # Py_TPFLAGS_DISALLOW_INSTANTIATION
UTC = timezone.utc

ACT365 = vyr.DayCountConvention.ACT_365_FIXED
EXPIRY = datetime(2027, 1, 15, 21, tzinfo=UTC)
NOW = datetime(2026, 1, 15, 21, tzinfo=UTC)


def run(*args, cwd=ROOT):
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True, timeout=600)


# Parsed stub --------------------------------------------------------------------------------


class StubMember:
    def __init__(self, kind, node=None):
        self.kind = kind  # "method", "static", "property", "attribute"
        self.node = node
        self.settable = False


def parse_stub():
    tree = ast.parse(SOURCE_STUB.read_text())
    classes, typed_dicts, names = {}, {}, None
    for node in tree.body:
        if isinstance(node, ast.Assign) and node.targets[0].id == "__all__":
            names = ast.literal_eval(node.value)
        if not isinstance(node, ast.ClassDef):
            continue
        if [ast.unparse(base) for base in node.bases] == ["TypedDict"]:
            # The shape of a plain dict result, not a class of the module.
            typed_dicts[node.name] = {
                item.target.id: item.annotation
                for item in node.body
                if isinstance(item, ast.AnnAssign)
            }
            continue
        members = {}
        for item in node.body:
            if isinstance(item, ast.AnnAssign):
                members[item.target.id] = StubMember("attribute", item.annotation)
            elif isinstance(item, ast.FunctionDef):
                decorators = [ast.unparse(d) for d in item.decorator_list]
                if "staticmethod" in decorators:
                    members[item.name] = StubMember("static", item)
                elif "property" in decorators:
                    members[item.name] = StubMember("property", item)
                elif f"{item.name}.setter" in decorators:
                    members[item.name].settable = True
                else:
                    members[item.name] = StubMember("method", item)
        classes[node.name] = members
    return names, classes, typed_dicts


STUB_ALL, STUB, TYPED_DICTS = parse_stub()


def stub_parameters(function):
    """(name, default or None) of each parameter after self/cls, with `from_` written `from`;
    the default as Python source, such as "None" or "'nan'"."""
    arguments = function.args
    assert not arguments.vararg and not arguments.kwarg and not arguments.kwonlyargs
    positional = arguments.posonlyargs + arguments.args
    defaults = [None] * (len(positional) - len(arguments.defaults)) + arguments.defaults
    result = []
    for argument, default in zip(positional, defaults, strict=True):
        if argument.arg in ("self", "cls"):
            continue
        name = argument.arg
        if argument in arguments.posonlyargs:
            # Only a run-time name that is a Python keyword is declared positional-only.
            assert name == "from_", name
            name = name[:-1]
        # Single quotes, as text signatures write strings.
        text = None if default is None else repr(ast.literal_eval(default))
        result.append((name, text))
    return result


def runtime_parameters(text_signature):
    """(name, default or None) of each parameter of a text signature such as
    "($self, t=None)"."""
    inner = text_signature.strip()[1:-1]
    result = []
    for part in filter(None, (p.strip() for p in inner.split(","))):
        if part.startswith("$"):
            continue
        name, _, default = part.partition("=")
        assert default in ("", "None", "'nan'"), text_signature
        result.append((name, default or None))
    return result


# Runtime ------------------------------------------------------------------------------------


def runtime_classes():
    classes = {name: getattr(vyr, name) for name in vyr.__all__}
    option = vyr.VanillaOption(100.0, EXPIRY, vyr.OptionType.Call, vyr.ExerciseStyle.European)
    classes["ImpliedVolBuilder"] = type(option.implied_vol())
    classes["Thirty360"] = vyr.DayCountConvention.THIRTY_360
    classes["ActAct"] = vyr.DayCountConvention.ACT_ACT
    return classes


RUNTIME = runtime_classes()


def runtime_members(cls):
    members = {}
    for name, value in vars(cls).items():
        # __slotnames__ is the copy protocol's cache, stored on a class once an instance is copied.
        if name in ("__doc__", "__module__", "__new__", "__slotnames__"):
            continue
        if isinstance(value, staticmethod):
            members[name] = ("static", getattr(cls, name).__text_signature__)
        elif type(value).__name__ in ("method_descriptor", "wrapper_descriptor"):
            members[name] = ("method", value.__text_signature__)
        elif type(value).__name__ == "getset_descriptor":
            members[name] = ("property", None)
        else:
            members[name] = ("attribute", value)
    return members


def test_installed_stub_is_the_source_stub():
    assert INSTALLED_STUB.is_file(), "the stub package is not installed beside the module"
    assert INSTALLED_STUB.read_text() == SOURCE_STUB.read_text(), "reinstall: pip install ."


def test_classes_and_all():
    assert STUB_ALL == vyr.__all__
    assert set(STUB) == set(RUNTIME)
    # The stub-only names are exactly the classes that are not module attributes.
    assert set(STUB) - set(vyr.__all__) == {"ImpliedVolBuilder", "Thirty360", "ActAct"}


@pytest.mark.parametrize("name", sorted(RUNTIME))
def test_members_and_signatures(name):
    cls, stub = RUNTIME[name], STUB[name]
    runtime = runtime_members(cls)
    declared = {member for member in stub if member != "__new__"}
    assert declared == set(runtime), f"{name}: stub and module members differ"
    for member, (kind, detail) in runtime.items():
        assert stub[member].kind == kind, f"{name}.{member}"
        if kind in ("method", "static") and not member.startswith("__"):
            assert stub_parameters(stub[member].node) == runtime_parameters(detail), member

    # A constructor in the stub exactly when the class can be called.
    if "__new__" in stub:
        assert not cls.__flags__ & DISALLOW_INSTANTIATION
        assert stub_parameters(stub["__new__"].node) == runtime_parameters(cls.__text_signature__)
    else:
        assert cls.__flags__ & DISALLOW_INSTANTIATION
        with pytest.raises(TypeError, match=f"cannot create 'builtins.{name}' instances"):
            cls()


def test_advance_parameter_is_from():
    # The one run-time name the stub cannot spell; it must still be accepted by keyword.
    assert vyr.Tenor.advance.__text_signature__ == "($self, from)"
    assert vyr.Tenor.days(1).advance(**{"from": date(2024, 2, 28)}) == date(2024, 2, 29)


# Types of values ----------------------------------------------------------------------------

SCALARS = {"float": float, "int": int, "str": str, "date": date, "datetime": datetime}


def annotation_check(annotation, owner):
    """A predicate on values that holds when a value has the annotated type."""
    text = ast.unparse(annotation)
    if text in TYPED_DICTS:
        fields = {name: annotation_check(a, owner) for name, a in TYPED_DICTS[text].items()}
        return lambda value: (type(value) is dict and list(value) == list(fields)
                              and all(check(value[name]) for name, check in fields.items()))
    if text == "array[float]":
        return lambda value: type(value) is array and value.typecode == "d"
    if text.startswith("list[") and text.endswith("]"):
        item = annotation_check(annotation.slice, owner)
        return lambda value: type(value) is list and all(item(v) for v in value)
    if text.startswith("ClassVar[") and text.endswith("]"):
        return annotation_check(annotation.slice, owner)
    if text.startswith("type[") and text.endswith("]"):
        target = RUNTIME[text[5:-1]]
        return lambda value: value is target
    alternatives = []
    for part in (p.strip() for p in text.split("|")):
        if part == "None":
            alternatives.append(type(None))
        elif part == "Self":
            alternatives.append(RUNTIME[owner])
        else:
            alternatives.append(SCALARS.get(part) or RUNTIME[part])
    # Exact types: a datetime, which is also a date, does not pass for a `date` result.
    exact = tuple(alternatives)
    return lambda value: type(value) in exact


def samples():
    """Instances of the classes that have properties, several where the values' types differ."""
    frame = vyr.OptionMarketFrame(
        100.0,
        vyr.RateCurve.continuous(0.05, ACT365),
        vyr.VolSurface.flat(0.2, ACT365),
        borrow_curve=vyr.RateCurve.continuous(0.01, ACT365),
    )
    call = vyr.VanillaOption(100.0, EXPIRY, vyr.OptionType.Call, vyr.ExerciseStyle.European)
    put = vyr.VanillaOption(100.0, EXPIRY, vyr.OptionType.Put, vyr.ExerciseStyle.American)
    analytic = call.valuation().market(frame).at(NOW).compute()
    grid = put.valuation().market(frame).at(NOW).compute()
    return {
        "VanillaOption": [call],
        "OptionMarketFrame": [
            frame,
            vyr.OptionMarketFrame(1.0, frame.rate_curve, frame.vol_surface),
        ],
        "Frequency": [vyr.Frequency.Annual, vyr.Frequency.Monthly],
        "OptionResult": [analytic, grid],
        "Greeks": [analytic.greeks, grid.greeks],
    }


@pytest.mark.parametrize("name", sorted(RUNTIME))
def test_class_attributes_have_the_declared_types(name):
    for member, declared in STUB[name].items():
        if declared.kind == "attribute":
            check = annotation_check(declared.node, name)
            assert check(getattr(RUNTIME[name], member)), f"{name}.{member}"


def test_properties_have_the_declared_types_and_setters():
    instances = samples()
    for name, members in STUB.items():
        properties = {m: d for m, d in members.items() if d.kind == "property"}
        if not properties:
            continue
        assert name in instances, f"no sample instance of {name}"
        seen = {member: set() for member in properties}
        for instance in instances[name]:
            for member, declared in properties.items():
                value = getattr(instance, member)
                assert annotation_check(declared.node.returns, name)(value), f"{name}.{member}"
                seen[member].add(type(value))
                try:
                    setattr(instance, member, value)
                    settable = True
                except AttributeError:
                    settable = False
                assert settable == declared.settable, f"{name}.{member} setter"
        # Every alternative of an optional property shows up among the samples.
        for member, declared in properties.items():
            alternatives = ast.unparse(declared.node.returns).count("|") + 1
            assert len(seen[member]) == alternatives, f"{name}.{member}: {seen[member]}"


def calls():
    """One call of every method and static method of the stubs, by "Class.member"."""
    frame = samples()["OptionMarketFrame"][0]
    call = samples()["VanillaOption"][0]
    rate = vyr.InterestRate(0.05, vyr.Compounding.continuous(), ACT365)
    curve = vyr.RateCurve.flat(rate)
    policy = vyr.InstrumentPolicy()
    result = call.valuation().market(frame).at(NOW).compute()
    return {
        "DayCountConvention.__repr__": lambda: repr(ACT365),
        "Frequency.__int__": lambda: int(vyr.Frequency.Quarterly),
        "Frequency.__repr__": lambda: repr(vyr.Frequency.Quarterly),
        "Tenor.days": lambda: vyr.Tenor.days(3),
        "Tenor.weeks": lambda: vyr.Tenor.weeks(3),
        "Tenor.months": lambda: vyr.Tenor.months(3),
        "Tenor.years": lambda: vyr.Tenor.years(3),
        "Tenor.advance": lambda: vyr.Tenor.days(3).advance(datetime(2024, 1, 1, tzinfo=UTC)),
        "PeriodCalculator.days_between": lambda: vyr.PeriodCalculator.days_between(
            date(2024, 1, 1), date(2024, 3, 1), ACT365
        ),
        "PeriodCalculator.year_fraction": lambda: vyr.PeriodCalculator.year_fraction(
            NOW, NOW, ACT365
        ),
        "Compounding.simple": vyr.Compounding.simple,
        "Compounding.continuous": vyr.Compounding.continuous,
        "Compounding.compounded": lambda: vyr.Compounding.compounded(vyr.Frequency.Annual),
        "Compounding.simple_then_compounded": lambda: vyr.Compounding.simple_then_compounded(
            vyr.Frequency.Annual
        ),
        "Compounding.__repr__": lambda: repr(vyr.Compounding.simple()),
        "InterestRate.discount_factor": lambda: rate.discount_factor(1),
        "RateCurve.flat": lambda: vyr.RateCurve.flat(rate),
        "RateCurve.continuous": lambda: vyr.RateCurve.continuous(0.01, ACT365),
        "RateCurve.interpolated": lambda: vyr.RateCurve.interpolated(
            date(2024, 1, 1), [vyr.Tenor.years(1), vyr.Tenor.years(2)], [rate, rate]
        ),
        "RateCurve.zero_rate": lambda: curve.zero_rate(1),
        "RateCurve.discount_factor": lambda: curve.discount_factor(1),
        "VolSurface.flat": lambda: vyr.VolSurface.flat(0.2, ACT365),
        "VolSurface.volatility": lambda: frame.vol_surface.volatility(100, 1),
        "OptionType.__int__": lambda: int(vyr.OptionType.Put),
        "OptionType.__repr__": lambda: repr(vyr.OptionType.Put),
        "ExerciseStyle.__int__": lambda: int(vyr.ExerciseStyle.European),
        "ExerciseStyle.__repr__": lambda: repr(vyr.ExerciseStyle.European),
        "VanillaOption.years_to_expiry": lambda: call.years_to_expiry(NOW),
        "VanillaOption.valuation": call.valuation,
        "VanillaOption.implied_vol": call.implied_vol,
        "TransformConfig.log": vyr.TransformConfig.log,
        "TransformConfig.sinh": lambda: vyr.TransformConfig.sinh(0.3),
        "InstrumentPolicy.american": policy.american,
        "InstrumentPolicy.european": policy.european,
        "InstrumentPolicy.put": policy.put,
        "InstrumentPolicy.call": policy.call,
        "InstrumentPolicy.analytic": policy.analytic,
        "InstrumentPolicy.fdm": policy.fdm,
        "InstrumentPolicy.fixed_point": policy.fixed_point,
        "Config.add_policy": lambda: vyr.Config().add_policy(policy),
        "OptionResult.__repr__": lambda: repr(result),
        "ValuationBuilder.market": lambda: call.valuation().market(frame),
        "ValuationBuilder.at": lambda: call.valuation().at(NOW),
        "ValuationBuilder.config": lambda: call.valuation().config(vyr.Config()),
        "ValuationBuilder.compute": lambda: call.valuation().market(frame).at(NOW).compute(),
        "ImpliedVolBuilder.price": lambda: call.implied_vol().price(10),
        "ImpliedVolBuilder.market": lambda: call.implied_vol().market(frame),
        "ImpliedVolBuilder.at": lambda: call.implied_vol().at(NOW),
        "ImpliedVolBuilder.config": lambda: call.implied_vol().config(None),
        "ImpliedVolBuilder.calculate": lambda: (
            call.implied_vol().price(result.price).market(frame).at(NOW).calculate()
        ),
        "VanillaOption.value_many": lambda: vyr.VanillaOption.value_many(
            [100.0, 110.0], [EXPIRY, NOW], vyr.OptionType.Call, vyr.ExerciseStyle.European, frame,
            NOW
        ),
        "VanillaOption.implied_vol_many": lambda: vyr.VanillaOption.implied_vol_many(
            100.0, EXPIRY, vyr.OptionType.Call, vyr.ExerciseStyle.European, [result.price, -1.0],
            frame, NOW
        ),
    }


def test_methods_return_the_declared_types():
    table = calls()
    declared = {
        f"{name}.{member}": (name, d.node)
        for name, members in STUB.items()
        for member, d in members.items()
        if d.kind in ("method", "static") and member != "__new__"
    }
    assert set(table) == set(declared), "every method of the stubs has one call here"
    for key, call in table.items():
        owner, node = declared[key]
        value = call()
        assert annotation_check(node.returns, owner)(value), f"{key} returned {type(value)}"


def test_builders_return_themselves():
    policy = vyr.InstrumentPolicy()
    assert policy.european().call().fdm() is policy
    config = vyr.Config()
    assert config.add_policy(policy) is config
    option = vyr.VanillaOption(100.0, EXPIRY, vyr.OptionType.Call, vyr.ExerciseStyle.European)
    for builder in (option.valuation(), option.implied_vol()):
        assert builder.at(NOW).config(None) is builder


# Tools --------------------------------------------------------------------------------------


def test_stubtest(tmp_path):
    completed = run(
        sys.executable, "-m", "mypy.stubtest", "vyr", "--allowlist", str(ALLOWLIST), cwd=tmp_path
    )
    assert completed.returncode == 0, completed.stdout + completed.stderr


def test_mypy_strict_over_typed_usage_and_examples(tmp_path):
    mine = sorted(str(p) for p in EXAMPLES.glob("*.py") if p.name != "quickstart.py")
    completed = run(
        sys.executable,
        "-m",
        "mypy",
        "--strict",
        "--cache-dir",
        str(tmp_path),
        str(TYPED_USAGE),
        *mine,
    )
    assert completed.returncode == 0, completed.stdout + completed.stderr


def test_mypy_over_quickstart(tmp_path):
    completed = run(
        sys.executable,
        "-m",
        "mypy",
        "--strict",
        "--cache-dir",
        str(tmp_path),
        str(EXAMPLES / "quickstart.py"),
    )
    assert completed.returncode == 0, completed.stdout + completed.stderr


def test_typed_usage_runs():
    runpy.run_path(str(TYPED_USAGE), run_name="typed_usage")
