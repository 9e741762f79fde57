"""The shape of the C++ core: floors that include only downwards, no process-wide lookups in the
core, every source beside its header, short functions, and steps named rather than numbered."""
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

CORE = Path(__file__).resolve().parents[2] / "src" / "core"

# Lowest first. A folder may include its own files and those of lower floors only; folders on
# the same floor do not include each other.
FLOORS = {
    "base": 0,
    "util": 1,
    "host": 2,
    "run": 3,
    "usd": 4, "tasks": 4, "upload": 4, "render": 4,
    "nested": 5, "scan": 5,
    "output": 6,
    "drivers": 7,
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources():
    return sorted(p for p in CORE.rglob("*") if p.suffix in (".h", ".cpp"))


def folder_of(path):
    return path.relative_to(CORE).parts[0]


def without_comments_and_strings(text):
    text = re.sub(r'R"([^(]*)\((.|\n)*?\)\1"', '""', text)
    text = re.sub(r'"(\\.|[^"\\\n])*"', '""', text)
    text = re.sub(r"'(\\.|[^'\\\n])*'", "''", text)
    text = re.sub(r"/\*(.|\n)*?\*/", "", text)
    return re.sub(r"//[^\n]*", "", text)


def test_every_core_folder_has_a_floor():
    folders = {folder_of(p) for p in sources()}
    assert folders <= set(FLOORS), folders - set(FLOORS)


def test_includes_run_only_downwards():
    upward = []
    for path in sources():
        here = folder_of(path)
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            there = target.split("/")[0]
            if there not in FLOORS:
                upward.append("%s includes %s, outside the core" % (path.relative_to(CORE), target))
            elif there != here and FLOORS[there] >= FLOORS[here]:
                upward.append("%s includes %s" % (path.relative_to(CORE), target))
    assert not upward, "\n".join(upward)


def lines_matching(pattern, skipped=lambda name: False):
    """Code lines (comments and texts left out) of the core's files that `pattern` finds, as
    "name:line: text", in the files whose name `skipped` does not refuse."""
    found = []
    for path in sources():
        name = path.relative_to(CORE).as_posix()
        if skipped(name):
            continue
        text = without_comments_and_strings(path.read_text(encoding="utf-8"))
        for n, line in enumerate(text.split("\n"), 1):
            if pattern.search(line):
                found.append("%s:%d: %s" % (name, n, line.strip()))
    return found


def test_no_process_wide_lookups_in_the_core():
    found = lines_matching(re.compile(r"(?<![\w.>:])(state|host|fs|usd)\(\)"))
    assert not found, "\n".join(found)


# The platform floor reads the process's environment, and the one object that hands it to the
# rest of the core; everything else gets its variables from the run.
ENVIRONMENT_SEAM = ("base/", "util/environment.cpp")
ENVIRONMENT_ACCESS = re.compile(
    r"\bos::get_env\b|\bstd::getenv\b|(?<![\w:.>])::getenv\b|\b(?:un)?setenv\s*\(|\b_?w?putenv\b"
    r"|\b_wgetenv\b|\bGetEnvironmentVariable|(?<![\w.>:])getenv\s*\(\s*\"\"")


def test_the_environment_is_read_only_through_its_seam():
    found = lines_matching(ENVIRONMENT_ACCESS, lambda name: name.startswith(ENVIRONMENT_SEAM))
    assert not found, "\n".join(found)


# JSON is the form of what the core reads from outside and writes: only the readers and writers
# name it in their headers (the JSON form of a record beside it, as `*_json.h`); everything else
# hands typed records to each other.
JSON_READERS_AND_WRITERS = re.compile(
    r"^(util/(json|json_writer|binary_json)\.h|output/.*\.h|.*_json\.h"
    r"|host/hip/geometry\.h|upload/drive_map\.h)$")


def test_only_readers_and_writers_name_json_in_their_headers():
    def skipped(name):
        return not name.endswith(".h") or JSON_READERS_AND_WRITERS.match(name)

    named = lines_matching(re.compile(r"\bJson\b"), skipped)
    named += ["%s includes util/json.h" % p.relative_to(CORE).as_posix() for p in sources()
              if not skipped(p.relative_to(CORE).as_posix())
              and "util/json.h" in INCLUDE.findall(p.read_text(encoding="utf-8"))]
    assert not named, "\n".join(named)


def header_of(source):
    """A platform's implementation (name_posix.cpp, name_win32.cpp) belongs to name.h."""
    stem = re.sub(r"_(posix|win32)$", "", source.stem)
    return source.with_name(stem + ".h")


def test_every_source_has_its_header():
    lonely = [str(p.relative_to(CORE)) for p in sources()
              if p.suffix == ".cpp" and not header_of(p).exists()]
    assert not lonely, lonely


def function_lengths(text):
    """(first line, number of lines) of every function body at namespace or class level."""
    text = without_comments_and_strings(text)
    out = []
    depth = 0
    # Braces that open namespaces, classes and other scopes whose contents are not one body.
    scopes = []
    start = None
    for m in re.finditer(r"[{};]", text):
        ch = m.group()
        if ch == "{":
            head = text[max(text.rfind(";", 0, m.start()), text.rfind("}", 0, m.start()),
                            text.rfind("{", 0, m.start())) + 1:m.start()]
            is_scope = re.search(r"\b(namespace|class|struct|union|enum)\b[^()]*$", head) is not None \
                or re.search(r"\bextern\s*\"\"\s*$", head) is not None
            if start is None and not is_scope and all(scopes) and re.search(r"\)[^()]*$", head):
                start = (m.start(), depth)
            scopes.append(is_scope)
            depth += 1
        elif ch == "}":
            depth -= 1
            scopes.pop()
            if start is not None and depth == start[1]:
                first = text.count("\n", 0, start[0]) + 1
                last = text.count("\n", 0, m.start()) + 1
                out.append((first, last - first + 1))
                start = None
    return out


def test_functions_are_short():
    long_ones = []
    for path in sources():
        for first, lines in function_lengths(path.read_text(encoding="utf-8")):
            if lines > 80:
                long_ones.append("%s:%d: %d lines" % (path.relative_to(CORE), first, lines))
    assert not long_ones, "\n".join(long_ones)


def test_the_length_measure_sees_bodies_not_scopes():
    text = "namespace a {\nclass B {\n  void f() {\n    if (x) {\n    }\n  }\n};\n}\nint g(int y) {\n  return y;\n}\n"
    assert function_lengths(text) == [(3, 4), (9, 3)]


def test_steps_are_named_not_numbered():
    numbered = re.compile(r"//\s*\d+(,\s*\d+)*\.(\s|$)")
    found = ["%s:%d" % (p.relative_to(CORE), n) for p in sources()
             for n, line in enumerate(p.read_text(encoding="utf-8").split("\n"), 1) if numbered.search(line)]
    assert not found, found


SRC = CORE.parent
SEAM = {"base/os_posix.cpp", "base/os_win32.cpp"}
SYSTEM_HEADER = re.compile(
    r'^\s*#\s*include\s*<(unistd\.h|dirent\.h|fcntl\.h|spawn\.h|poll\.h|signal\.h|iconv\.h|sys/[^>]+|'
    r'windows\.h|winbase\.h|io\.h|direct\.h|bcrypt\.h)>', re.M)
# A call, not the host interface's own getenv (declared after its return type).
ENVIRONMENT_CALL = re.compile(r"(?<!> )(?<![\w.>:])(std::|::)?(getenv|setenv|unsetenv|putenv|_wgetenv)\s*\(")


def test_only_the_platform_seam_asks_the_operating_system():
    found = []
    for path in sorted(p for p in SRC.rglob("*") if p.suffix in (".h", ".cpp")):
        name = str(path.relative_to(CORE)) if CORE in path.parents else str(path.relative_to(SRC))
        if name in SEAM:
            continue
        text = path.read_text(encoding="utf-8")
        for header in SYSTEM_HEADER.findall(text):
            found.append("%s includes <%s>" % (name, header))
        code = without_comments_and_strings(text)
        for n, line in enumerate(code.split("\n"), 1):
            if ENVIRONMENT_CALL.search(line):
                found.append("%s:%d reads the environment itself: %s" % (name, n, line.strip()))
    assert not found, "\n".join(found)


def test_the_projects_python_passes_its_linter():
    ruff = Path(sys.executable).parent / ("ruff.exe" if os.name == "nt" else "ruff")
    if not ruff.exists():
        pytest.skip("ruff is not installed in this interpreter's environment")
    root = Path(__file__).resolve().parents[2]
    proc = subprocess.run([str(ruff), "check", "--no-cache", "src/python", "tests/python", "bench"],
                          cwd=str(root), capture_output=True, text=True)
    assert proc.returncode == 0, proc.stdout + proc.stderr
