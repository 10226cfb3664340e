"""The documentation stays true: every interpreter session in docs/ runs and prints what it
shows, each section in a fresh namespace as a reader pasting it would; the API reference has a
section with an example for every class of the stubs, naming all of its members."""

import ast
import doctest
import re
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DOCS = ROOT / "docs"
STUB = ROOT / "extension" / "stubs" / "vyr-stubs" / "__init__.pyi"


def sections(path):
    """(heading, first line number, text) of each level-two section of a Markdown file.

    Code-fence lines become blank lines, so that an expected output ends at its fence while
    line numbers stay those of the file."""
    lines = path.read_text().splitlines()
    starts = [i for i, line in enumerate(lines) if line.startswith("## ")] + [len(lines)]
    for start, end in zip(starts, starts[1:]):
        body = ["" if line.startswith("```") else line for line in lines[start:end]]
        yield lines[start][3:].strip(), start, "\n".join(body) + "\n"


SESSIONS = [
    pytest.param(path, start, text, id=f"{path.name}:{heading}")
    for path in sorted(DOCS.glob("*.md"))
    for heading, start, text in sections(path)
    if ">>> " in text
]


@pytest.mark.parametrize("path, start, text", SESSIONS)
def test_session(path, start, text):
    parser = doctest.DocTestParser()
    test = parser.get_doctest(text, {}, f"{path.name}:{start + 1}", str(path), start)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    failures = []
    runner.run(test, out=failures.append)
    assert runner.failures == 0, "".join(failures)


def stub_classes():
    tree = ast.parse(STUB.read_text())
    classes = {}
    for node in tree.body:
        # TypedDicts describe plain dict results; the section of the method that returns one
        # documents it.
        if isinstance(node, ast.ClassDef) and [ast.unparse(b) for b in node.bases] != ["TypedDict"]:
            classes[node.name] = sorted(
                {
                    item.name if isinstance(item, ast.FunctionDef) else item.target.id
                    for item in node.body
                    if isinstance(item, (ast.FunctionDef, ast.AnnAssign))
                }
                - {"__new__", "__repr__", "__int__"}
            )
    return classes


def test_api_reference_covers_every_class_and_member():
    reference = {heading: text for heading, _, text in sections(DOCS / "api.md")}
    for name, members in stub_classes().items():
        heading = f"`{name}`"
        assert heading in reference, f"api.md has no section {heading}"
        text = reference[heading]
        assert ">>> " in text, f"api.md: {name} has no example"
        for member in members:
            assert re.search(rf"\b{member}\b", text), f"api.md: {name}.{member} is not documented"


def test_guide_covers_its_topics():
    headings = [heading for heading, _, _ in sections(DOCS / "guide.md")]
    for topic in (
        "Market data",
        "Options",
        "Valuation",
        "Implied volatility",
        "The finite-difference engine",
        "Dividends",
        "Time zones and 0-DTE options",
        "Units of the Greeks",
    ):
        assert topic in headings


def test_examples_and_pointers():
    examples = (DOCS / "examples.md").read_text()
    for script in sorted((ROOT / "examples").glob("*.py")):
        assert f"examples/{script.name}" in examples, f"examples.md does not describe {script.name}"
    assert "](docs/README.md)" in (ROOT / "README.md").read_text()
    index = (DOCS / "README.md").read_text()
    for page in ("guide.md", "api.md", "examples.md"):
        assert f"]({page})" in index
    # Relative links between the pages point at files that exist.
    for page in DOCS.glob("*.md"):
        for target in re.findall(r"\]\(([^)#:]+)(?:#[^)]*)?\)", page.read_text()):
            assert (page.parent / target).exists(), f"{page.name}: broken link {target}"


def test_readme_example_runs(capsys):
    readme = (ROOT / "README.md").read_text()
    (example,) = re.findall(r"```python\n(.*?)```", readme, re.S)
    exec(compile(example, "README.md", "exec"), {})
    result, implied = capsys.readouterr().out.splitlines()
    assert re.fullmatch(r"<OptionResult price=\d+\.\d{4}> -0\.\d+ -\d+\.\d+", result), result
    assert abs(float(implied) - 0.20) < 1e-3  # the README's "~0.20"
