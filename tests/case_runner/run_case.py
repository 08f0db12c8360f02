#!/usr/bin/env python3
"""Runs end-to-end cases of vrkini (folders of tests/cases) and compares what
the program did with what each case expects.

    run_case.py linux BIN_DIR WORK_DIR CASE_DIR... [--record]
        bin/vrkini against a store of its own in a temporary directory,
        loaded with `vrkreg import` and read back with `vrkreg export`
    run_case.py wine BIN_DIR WORK_DIR WINE_LOADER WINE64_LOADER CASE_DIR...
        vrkini.exe under WINE_LOADER against the registry of the prefix in
        WINEPREFIX, loaded with Wine's own reg (run under WINE64_LOADER) in
        the 32-bit view and read back with vrkreg.exe (Wine's reg export
        drops the last character of every REG_SZ, taking it for the
        terminating zero, and the profile's text has none). Cases share the
        prefix's registry: run them one at a time.

With --record the expected files of each case are written from the run
instead of compared: review them before committing them. Record under Wine
only the cases that run under Wine alone.

A case folder holds:
    case.txt      the setup and the runs (see parse_case)
    fixture.reg   the registry loaded before the first run (optional)
    stdout.txt, stderr.txt   standard output and error of the run; with
                  several runs stdout.N.txt and stderr.N.txt for run N
    profile.txt   HKEY_LOCAL_MACHINE\\Software\\SV.INI afterwards in the
                  canonical form of regcanon.py, or the line "(absent)"
A file X.wine.txt replaces X.txt under Wine; only a case that names a Wine
departure ("wine-departure:") may have one.

A case with a locale runs the program in it, made with localedef (and
kept beside the cases' work directories) when the run needs it: under Wine
the locale's language chooses the ANSI code page and its character set the
way Wine reads Linux file names and arguments. The setup's names and the
arguments are then written in that character set, and Wine's reg loads
fixture.reg in that locale too (its 8-bit text in that ANSI code page). A
locale that cannot be made fails the case (localedef and the locales
package: scripts/deps --windows installs them).

Placeholders, filled in fixture.reg, arguments, file setup and expected
files: {workdir} is the program's working directory as the program names it
(a Linux path, or a Z: path under Wine); {hex:workdir} is its bytes as
comma-separated hex for hex: data in .reg files.
"""

import codecs
import difflib
import os
import re
import shlex
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import regcanon  # noqa: E402

PROFILE_KEY = "HKEY_LOCAL_MACHINE\\Software\\SV.INI"
PLATFORMS = ("linux", "wine")
# A trace line with its prefix: sequence, process id, thread slot. The ids
# are masked as PPPPPP and SS in the expected files.
TRACE_PREFIX = re.compile(r"^(\d{8}) (\d{6}):(\d{2}) ", re.M)


class CaseError(Exception):
    pass


class Case:
    def __init__(self, folder):
        self.folder = folder
        self.name = os.path.basename(os.path.normpath(folder))
        self.platforms = list(PLATFORMS)
        self.because = ""
        self.departure = ""
        self.setup = []  # (action, name, text)
        self.runs = []  # (arguments, environment)
        self.checks = []  # (present?, name)
        self.locale = None  # language_COUNTRY.CHARSET
        self.program_folder = None


def parse_case(folder):
    """Reads case.txt. One directive a line, "#" starts a comment line:
        about: TEXT             what the case shows (any number of lines)
        platforms: linux|wine   where the case runs (default: both)
        because: TEXT           why, when it does not run everywhere
        wine-departure: TEXT    the Wine departure from Windows that the
                                case's .wine.txt files answer
        mkdir: PATH             a directory made in the working directory
        file: PATH TEXT         a file holding TEXT (and no line feed)
        readonly: PATH          the file or directory made read-only
        env: NAME=VALUE         a variable for the runs that follow
        locale: NAME            the runs' locale, language_COUNTRY.CHARSET
                                (ru_RU.CP1251); names and arguments are
                                written in CHARSET
        program-folder: NAME    the program and its message module are
                                copied to a folder of that name in the
                                case's directory and run from there (Wine)
        run: ARGUMENTS          one run of vrkini; the arguments split as a
                                shell would, but a backslash is an ordinary
                                character (quote with "" or '')
        absent: PATH / present: PATH   checked in the working directory
                                after the last run
    """
    case = Case(folder)
    env = {}
    with open(os.path.join(folder, "case.txt"), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            directive, sep, rest = line.partition(":")
            if not sep:
                raise CaseError("case.txt:%d: no directive: %s" % (number, line))
            directive = directive.strip()
            rest = rest[1:] if rest.startswith(" ") else rest
            if directive == "about":
                pass
            elif directive == "platforms":
                case.platforms = rest.split()
                for p in case.platforms:
                    if p not in PLATFORMS:
                        raise CaseError("case.txt:%d: unknown platform %s" % (number, p))
            elif directive == "because":
                case.because += rest
            elif directive == "wine-departure":
                case.departure += rest
            elif directive in ("mkdir", "readonly"):
                case.setup.append((directive, rest, None))
            elif directive == "file":
                name, _, text = rest.partition(" ")
                case.setup.append(("file", name, text))
            elif directive == "env":
                name, eq, value = rest.partition("=")
                if not eq:
                    raise CaseError("case.txt:%d: env needs NAME=VALUE" % number)
                env[name] = value
            elif directive == "run":
                lexer = shlex.shlex(rest, posix=True)
                lexer.whitespace_split = True
                lexer.escape = ""
                lexer.commenters = ""
                case.runs.append((list(lexer), dict(env)))
            elif directive == "locale":
                language, dot, charset = rest.partition(".")
                if not dot or not language or not charset:
                    raise CaseError("case.txt:%d: locale needs language_COUNTRY.CHARSET" % number)
                try:
                    codecs.lookup(charset)
                except LookupError:
                    raise CaseError("case.txt:%d: unknown character set %s" % (number, charset))
                case.locale = rest
            elif directive == "program-folder":
                case.program_folder = rest
            elif directive in ("absent", "present"):
                case.checks.append((directive == "present", rest))
            else:
                raise CaseError("case.txt:%d: unknown directive %s" % (number, directive))
    if not case.runs:
        raise CaseError("case.txt: no run")
    if len(case.platforms) < len(PLATFORMS) and not case.because:
        raise CaseError("case.txt: a case that does not run everywhere says why (because:)")
    return case


def expected_name(case, base, run_index, mode):
    """The expected file for base ("stdout", "stderr", "profile")."""
    stem = base
    if base != "profile" and len(case.runs) > 1:
        stem = "%s.%d" % (base, run_index + 1)
    if mode == "wine":
        override = os.path.join(case.folder, stem + ".wine.txt")
        if os.path.exists(override):
            if not case.departure:
                raise CaseError(stem + ".wine.txt without a wine-departure: line")
            return override
    return os.path.join(case.folder, stem + ".txt")


class Platform:
    """What differs between the runners: the program, the registry tools and
    the names of paths."""

    def __init__(self, mode, bin_dir, work):
        self.mode = mode
        self.bin_dir = os.path.abspath(bin_dir)
        self.work = work
        self.locale = {}  # the variables of the case's locale
        self.charset = None  # and its character set

    def spelled(self, words):
        """The words of a command as the program's system spells them: in
        the case's character set, when it has one."""
        if self.charset is None:
            return words
        return [w.encode(self.charset) if isinstance(w, str) else w for w in words]

    def program_path(self, path):
        return path

    def base_environment(self):
        env = {k: v for k, v in os.environ.items() if not k.upper().startswith("TORQA")}
        if self.locale:
            for name in ("LANGUAGE", "LC_CTYPE", "LC_MESSAGES"):
                env.pop(name, None)
            env.update(self.locale)
        return env


class Linux(Platform):
    def __init__(self, bin_dir, work):
        super().__init__("linux", bin_dir, work)
        self.store = os.path.join(work, "store")

    def base_environment(self):
        env = super().base_environment()
        env["TORQA REGISTRY"] = self.store
        return env

    def vrkreg(self, *args):
        # vrkreg takes a word that starts with "/" for an option: files are
        # named relative to the case's directory.
        return subprocess.run([os.path.join(self.bin_dir, "vrkreg"), *args], cwd=self.work,
                              env=self.base_environment(), capture_output=True, timeout=60)

    def prepare(self, fixture):
        os.makedirs(self.store)
        if fixture is not None:
            r = self.vrkreg("import", os.path.basename(fixture))
            if r.returncode != 0:
                raise CaseError("vrkreg import failed: " + (r.stdout + r.stderr).decode())

    def command(self, arguments):
        return self.spelled([os.path.join(self.bin_dir, "vrkini"), *arguments])

    def place_program(self, folder):
        raise CaseError("program-folder: is for Wine only")

    def export_profile(self, name):
        if self.vrkreg("query", PROFILE_KEY).returncode != 0:
            return None
        r = self.vrkreg("export", PROFILE_KEY, name)
        if r.returncode != 0:
            raise CaseError("vrkreg export failed: " + (r.stdout + r.stderr).decode())
        return os.path.join(self.work, name)

    def finish(self):
        pass


class Wine(Platform):
    def __init__(self, bin_dir, work, loader, loader64):
        super().__init__("wine", bin_dir, work)
        self.loader = loader
        self.loader64 = loader64
        self.created = []
        self.program = os.path.join(self.bin_dir, "vrkini.exe")

    def program_path(self, path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def reg(self, *args):
        return wine_run([self.loader64, "reg", *args, "/reg:32"], cwd=self.work,
                        env=self.base_environment())

    def exists(self, key):
        r = self.reg("query", key)
        if r.returncode == 0:
            return True
        # reg answers a missing key with exit status 1 and its message (in
        # the case's language); a failure that says nothing is no answer.
        if r.returncode == 1 and (r.stdout + r.stderr).strip():
            return False
        raise CaseError("reg query failed (exit status %d): %s" %
                        (r.returncode, (r.stdout + r.stderr).decode(errors="replace")))

    def prepare(self, fixture):
        self.reg("delete", PROFILE_KEY, "/f")
        if fixture is None:
            return
        # Keys below Software that the fixture makes are removed again after
        # the case; keys that were there before are left alone.
        with open(fixture, "rb") as f:
            keys = regcanon.parse(regcanon.decode(f.read()))
        for key in keys:
            parts = key.split("\\")
            if len(parts) < 3 or parts[0].upper() != "HKEY_LOCAL_MACHINE" or \
                    parts[1].upper() != "SOFTWARE":
                raise CaseError("a fixture keeps below HKEY_LOCAL_MACHINE\\Software: " + key)
            top = "\\".join(parts[:3])
            if top not in self.created and not self.exists(top):
                self.created.append(top)
        r = self.reg("import", self.program_path(fixture))
        if r.returncode != 0:
            raise CaseError("reg import failed: " + (r.stdout + r.stderr).decode(errors="replace"))

    def command(self, arguments):
        return self.spelled([self.loader, self.program, *arguments])

    def place_program(self, folder):
        """Copies the program and its message module to folder and runs it
        from there."""
        os.makedirs(folder)
        for name in ("vrkini.exe", "vrkmsg.dll"):
            target = os.path.join(folder, os.fsencode(name) if isinstance(folder, bytes) else name)
            shutil.copy(os.path.join(self.bin_dir, name), target)
            if name == "vrkini.exe":
                self.program = target

    def export_profile(self, name):
        if not self.exists(PROFILE_KEY):
            return None
        path = os.path.join(self.work, name)
        r = wine_run([self.loader, os.path.join(self.bin_dir, "vrkreg.exe"), "export",
                      PROFILE_KEY, name, "/y", "/reg:32"], cwd=self.work,
                     env=self.base_environment())
        if r.returncode != 0:
            raise CaseError("vrkreg export failed: " +
                            (r.stdout + r.stderr).decode(errors="replace"))
        return path

    def finish(self):
        self.reg("delete", PROFILE_KEY, "/f")
        for top in self.created:
            self.reg("delete", top, "/f")


def make_locale(name, store):
    """The variables that run a program in locale name, made with localedef
    into the folder store when it is not there yet."""
    language, _, charset = name.partition(".")
    path = os.path.join(store, name)
    if not os.path.isdir(path):
        os.makedirs(store, exist_ok=True)
        building = "%s.%d" % (path, os.getpid())
        shutil.rmtree(building, ignore_errors=True)
        try:
            r = subprocess.run(["localedef", "-i", language, "-f", charset, building],
                               capture_output=True, timeout=120)
        except OSError as e:
            raise CaseError("the locale %s cannot be made: localedef: %s (scripts/deps "
                            "--windows installs it)" % (name, e))
        if not os.path.exists(os.path.join(building, "LC_CTYPE")):
            shutil.rmtree(building, ignore_errors=True)
            raise CaseError("the locale %s cannot be made (the locales package: scripts/deps "
                            "--windows installs it): %s" %
                            (name, (r.stdout + r.stderr).decode(errors="replace").strip()))
        try:
            os.rename(building, path)
        except OSError:
            shutil.rmtree(building, ignore_errors=True)  # made meanwhile by another run
    env = {"LOCPATH": store, "LANG": name, "LC_ALL": name}
    r = subprocess.run(["locale", "charmap"], env={**os.environ, **env}, capture_output=True)
    if r.returncode != 0 or r.stderr or \
            codecs.lookup(r.stdout.decode().strip()).name != codecs.lookup(charset).name:
        raise CaseError("the locale %s was made but is not taken: %s" %
                        (name, (r.stdout + r.stderr).decode(errors="replace").strip()))
    return env


def encoded(text, case):
    """text as the program's system spells it: bytes in the case's character
    set, or the text itself without a locale."""
    if case.locale is None or isinstance(text, bytes):
        return text
    return text.encode(case.locale.partition(".")[2])


def fill(text, values):
    for name, value in values.items():
        text = text.replace("{hex:%s}" % name, ",".join("%02x" % b for b in value.encode()))
        text = text.replace("{%s}" % name, value)
    return text


def unfill(text, values):
    """The reverse of fill, for recording."""
    for name, value in values.items():
        text = text.replace(",".join("%02x" % b for b in value.encode()), "{hex:%s}" % name)
        text = text.replace(value, "{%s}" % name)
    return text


def set_up_directory(case, rundir, values):
    for action, name, text in case.setup:
        path = os.path.join(encoded(rundir, case), encoded(fill(name, values), case))
        if action == "mkdir":
            os.makedirs(path, exist_ok=True)
        elif action == "file":
            with open(path, "w", encoding="utf-8") as f:
                f.write(fill(text, values))
        elif action == "readonly":
            os.chmod(path, 0o444 if os.path.isfile(path) else 0o555)


# What Wine's loader says when it could not start a program (start.exe's
# text), seen now and then under load for programs the prefix holds.
NOT_STARTED = "Application could not be started"


def note_wine_retry(argv, returncode, said=""):
    """Prints (and notes in the file VRK_WINE_RETRIES names) that a Wine
    process is started once more: it failed having printed nothing at all
    (every program run here prints or succeeds), or with Wine's own words
    that it could not start it (said); either is a run that Wine did not
    start."""
    reason = "Wine said: " + said.replace("\n", " ") if said else "nothing printed"
    line = "wine_run: retrying: Wine did not start %s (exit status %d, %s)" % (
        " ".join(argv[1:3]), returncode, reason)
    print(line, file=sys.stderr)
    retries = os.environ.get("VRK_WINE_RETRIES")
    if retries:
        with open(retries, "a", encoding="utf-8") as f:
            f.write(line + "\n")


def wine_run(argv, cwd, env, timeout=120):
    """Runs a Wine process to its end, once more only when Wine did not start
    it (note_wine_retry). Any other failure stands."""
    r = subprocess.run(argv, cwd=cwd, env=env, capture_output=True, timeout=timeout,
                       stdin=subprocess.DEVNULL)
    said = (r.stdout + r.stderr).decode(errors="replace")
    if r.returncode != 0 and (not said or NOT_STARTED in said):
        note_wine_retry(argv, r.returncode, said.strip())
        r = subprocess.run(argv, cwd=cwd, env=env, capture_output=True, timeout=timeout,
                           stdin=subprocess.DEVNULL)
    return r


def run_once(argv, env, rundir, arguments):
    proc = subprocess.Popen(argv, cwd=rundir, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        out, err = proc.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.communicate()
        raise CaseError("the run did not end within 120 s: " + " ".join(arguments))
    return proc.returncode, proc.pid, out, err


def run_program(platform, arguments, environment, rundir):
    env = platform.base_environment()
    env.update(environment)
    argv = platform.command(arguments)
    result = run_once(argv, env, rundir, arguments)
    # vrkini's exit status is always 0: under Wine, a failure with no output
    # at all is Wine's own start-up.
    if platform.mode == "wine" and result[0] != 0 and not result[2] and not result[3]:
        note_wine_retry(argv, result[0])
        result = run_once(argv, env, rundir, arguments)
    return result


def as_text(data, platform, pid, problems, stream):
    text = data.decode("latin-1")
    if platform.mode == "wine":
        # Windows' text streams end lines with CR LF.
        text = text.replace("\r\n", "\n")

    # The process id and the thread's slot change from run to run: the
    # process id must be the child's (on Linux, where the runner knows it)
    # and the slot the same on every line; both are masked.
    slots = set()

    def mask(m):
        if platform.mode == "linux" and int(m.group(2)) != pid % 1000000:
            problems.append("%s: trace prefix names process %s, not %06d" %
                            (stream, m.group(2), pid % 1000000))
        slots.add(m.group(3))
        return "%s PPPPPP:SS " % m.group(1)

    text = TRACE_PREFIX.sub(mask, text)
    if len(slots) > 1:
        problems.append("%s: trace lines of one thread in slots %s" % (stream, sorted(slots)))
    return text


def compare(expected_path, actual, values, record, problems):
    if record:
        with open(expected_path, "w", encoding="latin-1", newline="") as f:
            f.write(unfill(actual, values))
        return
    if not os.path.exists(expected_path):
        problems.append("missing expected file %s" % os.path.basename(expected_path))
        return
    with open(expected_path, encoding="latin-1", newline="") as f:
        expected = fill(f.read(), values)
    if expected != actual:
        diff = difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                    "expected " + os.path.basename(expected_path), "actual")
        problems.append("".join(d if d.endswith("\n") else d + "\\ no line feed\n"
                                for d in diff))


def run_case(platform, case, record):
    """Runs one case; returns the list of differences (empty: passed)."""
    work = platform.work
    shutil.rmtree(work, ignore_errors=True)
    rundir = os.path.join(work, "run")
    os.makedirs(rundir)
    values = {"workdir": platform.program_path(rundir)}
    problems = []
    fixture = None
    source = os.path.join(case.folder, "fixture.reg")
    if os.path.exists(source):
        fixture = os.path.join(work, "fixture.reg")
        with open(source, encoding="latin-1", newline="") as f:
            text = fill(f.read(), values)
        with open(fixture, "w", encoding="latin-1", newline="") as f:
            f.write(text)
    try:
        if case.locale is not None:
            # The fixture is loaded in the case's locale too: a .reg file's
            # 8-bit text is read in the ANSI code page.
            platform.locale = make_locale(case.locale,
                                          os.path.join(os.path.dirname(work), "locales"))
            platform.charset = case.locale.partition(".")[2]
        platform.prepare(fixture)
        set_up_directory(case, rundir, values)
        if case.program_folder is not None:
            platform.place_program(os.path.join(encoded(work, case),
                                                encoded(case.program_folder, case)))
        for i, (arguments, environment) in enumerate(case.runs):
            arguments = [fill(a, values) for a in arguments]
            status, pid, out, err = run_program(platform, arguments, environment, rundir)
            if status != 0:
                problems.append("run %d: exit status %d, not 0" % (i + 1, status))
            for stream, data in (("stdout", out), ("stderr", err)):
                compare(expected_name(case, stream, i, platform.mode),
                        as_text(data, platform, pid, problems, stream), values, record, problems)
        exported = platform.export_profile("profile.reg")
        profile = "(absent)\n" if exported is None else \
            "\n".join(regcanon.canonical_file(exported)) + "\n"
        compare(expected_name(case, "profile", 0, platform.mode), profile, values, record,
                problems)
        for present, name in case.checks:
            if os.path.lexists(os.path.join(encoded(rundir, case),
                                            encoded(fill(name, values), case))) != present:
                problems.append("%s should be %s after the run" %
                                (name, "present" if present else "absent"))
    finally:
        platform.finish()
        # Read-only setup would keep the directory from being removed.
        for root, dirs, files in os.walk(work):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o755)
    return problems


def main(argv):
    args = [a for a in argv[1:] if a != "--record"]
    record = "--record" in argv
    if len(args) < 3 or args[0] not in PLATFORMS:
        sys.stderr.write(__doc__)
        return 2
    mode, bin_dir, work = args[0], args[1], os.path.abspath(args[2])
    if mode == "wine":
        if len(args) < 6:
            sys.stderr.write(__doc__)
            return 2
        loader, loader64, folders = args[3], args[4], args[5:]
    else:
        folders = args[3:]
    status = 0
    for folder in folders:
        try:
            case = parse_case(folder)
            if mode not in case.platforms:
                print("%s: not run on %s: %s" % (case.name, mode, case.because))
                continue
            case_work = os.path.join(work, case.name)
            platform = Wine(bin_dir, case_work, loader, loader64) if mode == "wine" else \
                Linux(bin_dir, case_work)
            problems = run_case(platform, case, record)
        except (CaseError, OSError, subprocess.SubprocessError, regcanon.RegFormatError) as e:
            problems = [str(e)]
        name = os.path.basename(os.path.normpath(folder))
        if problems:
            status = 1
            print("%s: FAILED on %s" % (name, mode))
            for p in problems:
                print(p.rstrip("\n"))
        else:
            print("%s: %s on %s" % (name, "recorded" if record else "passed", mode))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
