#!/usr/bin/env python3
"""The manual pages against what they describe, so that they cannot drift
apart: every option and command word of the programs' usage texts, and every
environment variable the programs read, is named in a page; the built pages
are compressed and carry the package's version.

    man_pages_test.py BUILD_DIR SOURCE_DIR VERSION
"""
import gzip
import pathlib
import re
import subprocess
import sys

build = pathlib.Path(sys.argv[1])
source = pathlib.Path(sys.argv[2])
version = sys.argv[3]
failures = []


def page_source(program):
    return (source / "tool" / program / f"{program}.1.scd").read_text()


def usage(program, *args):
    done = subprocess.run([str(build / "bin" / program), *args], capture_output=True, text=True)
    if done.returncode != 0:
        failures.append(f"{program} {' '.join(args)} failed: {done.stderr}")
    return done.stdout


def plain_text(scd):
    """The page's text with scdoc's markup and escapes taken away."""
    text = re.sub(r"(?<!\w)_([^_\n]+?)_(?!\w)", r"\1", scd.replace("*", ""))
    return re.sub(r"\\(.)", r"\1", text)


def require(program, words, why):
    text = plain_text(page_source(program))
    for word in sorted(set(words)):
        if not re.search(r"(?<![\w/-])" + re.escape(word) + r"(?![\w-])", text):
            failures.append(f"{program}.1.scd does not name {word} ({why})")


# vrktrace: every option of its help.
help_text = usage("vrktrace", "--help")
require("vrktrace", re.findall(r"(?<![\w-])--?[a-z][a-z-]*", help_text), "vrktrace --help")

# vrkreg: every command word, option and value type of its usage texts.
general = usage("vrkreg", "/?")
commands = re.findall(r"^  ([a-z]+) ", general, re.MULTILINE)
if not commands:
    failures.append("no command words in vrkreg /?")
words = list(commands)
for command in commands:
    text = usage("vrkreg", command, "/?")
    words += re.findall(r"(?<![\w\\])/[a-z]+\b", text)
    words += re.findall(r"\bREG_[A-Z_]+\b", text)
require("vrkreg", words, "vrkreg /?")
require("vrkreg", ["--version"], "vrkreg --version")

# Every environment variable the programs read is in a page: the variables
# of the library and the store in vrkini(1).
variables = set()
for path in [p for top in ("base", "diag", "platform", "profile", "tool")
             for p in (source / top).glob("**/*.cpp")]:
    if re.search(r"_(test|bench|fuzz)\.cpp$", path.name):
        continue
    code = path.read_text(errors="replace")
    variables.update(re.findall(r'"(TORQA[ _][A-Z0-9]+)"', code))
    variables.update(re.findall(r'getenv\("([A-Za-z_][A-Za-z0-9_]*)"\)', code))
if "TORQA TRACE" not in variables:
    failures.append("found no trace variable in the sources: the scan is broken")
all_pages = "".join(plain_text(page_source(p)) for p in ("vrkini", "vrkreg", "vrktrace"))
for variable in sorted(variables):
    forms = {variable, variable.replace(" ", "_"), variable.replace("_", " ", 1)}
    if not any(re.search(r"(?<!\w)" + re.escape(form) + r"(?!\w)", all_pages) for form in forms):
        failures.append(f"no manual page names the environment variable {variable}")

# The built pages: compressed, version filled in.
for program in ("vrkini", "vrkreg", "vrktrace"):
    page = build / "share" / "man" / "man1" / f"{program}.1.gz"
    try:
        roff = gzip.decompress(page.read_bytes()).decode()
    except OSError as e:
        failures.append(f"{page}: {e}")
        continue
    if f'"vrkini {version}"' not in roff:
        failures.append(f"{page} does not carry the version {version}")
    if "@PROJECT_VERSION@" in roff:
        failures.append(f"{page} still holds @PROJECT_VERSION@")

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
