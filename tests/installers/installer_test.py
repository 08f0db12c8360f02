#!/usr/bin/env python3
"""Builds an installer from the example in examples/installers and the
installed package folder alone, as an installer author would, and runs it
silently under Wine in a prefix of its own, seeded with examples/sv-ini.reg.

    installer_test.py nsis|msi BUILD_DIR SOURCE_DIR CMAKE WINE_LOADER WINE64_LOADER
                      WINESERVER WORK_DIR [--win64]

WINE_LOADER runs the installer and the programs (the build's loader);
WINE64_LOADER runs Wine's reg (32-bit view) and makes the prefix. With
--win64 the 64-bit installer is built (makensis -DWIN64, wixl -a x64).

The steps, one after the other in the same prefix:
  install into C:\\SELVARINE        the profile afterwards is the one the
                                   typical run leaves (the Linux run's), the
                                   64-bit view holds no profile, the log holds
                                   the typical run's report
  reinstall                        the log reports every entry up to date
  uninstall                        vrkini -DELETE ran in the installation
                                   folder (the SV.INI file there is gone)
  install into C:\\Program Files (x86)\\Selvarine
                                   the samples recorded under that path go
  install with no profile, traced  exit status 0, an empty report, the trace
                                   says "No Selvarine profile was found"
"""

import difflib
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "case_runner"))
import regcanon  # noqa: E402
from run_case import NOT_STARTED, note_wine_retry  # noqa: E402

PROFILE_KEY = "HKLM\\Software\\SV.INI"
PACKAGE_FILES = ["README-windows.txt", "vrkini.exe", "vrkmsg.dll", "vrkreg.exe", "vrktrace.exe"]
SPACES_DIR = "C:\\Program Files (x86)\\Selvarine"


class Failure(Exception):
    pass


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def write(path, text):
    with open(path, "w", newline="") as f:
        f.write(text)


def run(argv, **kwargs):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kwargs)


class Wine:
    """The test's own prefix; every call waits until the prefix is idle, so
    that an uninstaller that returns early has finished too."""

    def __init__(self, loader, loader64, server, prefix, work):
        self.loader, self.loader64, self.server = loader, loader64, server
        self.prefix, self.work = prefix, work
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("TORQA")}
        self.env.update(WINEPREFIX=prefix, WINESERVER=server, WINEDEBUG="-all")

    def make(self, source):
        r = run(["sh", os.path.join(source, "cmake", "wine_session.sh"), "make", self.prefix,
                 self.loader64, self.server], env=self.env)
        if r.returncode != 0:
            raise Failure("making the Wine prefix failed: " + r.stdout.decode(errors="replace"))

    def stop(self):
        """Ends the prefix's server and waits for it, before the prefix goes."""
        run([self.server, "-k"], env=self.env)
        self.idle()

    def idle(self):
        run([self.server, "-w"], env=self.env)

    def __call__(self, *args, loader=None):
        argv = [loader or self.loader, *args]
        r = run(argv, env=self.env, cwd=self.work)
        self.idle()
        output = r.stdout.decode(errors="replace")
        if r.returncode != 0 and NOT_STARTED in output:
            # Wine's own words that it could not start the program (seen
            # under load for reg.exe, which every prefix holds): that run,
            # and only that one, is made once more, and the retry is noted.
            note_wine_retry(argv, r.returncode, output.strip())
            r = run(argv, env=self.env, cwd=self.work)
            self.idle()
        return r

    def batch(self, line):
        path = os.path.join(self.work, "run.cmd")
        write(path, "@" + line + "\r\n@exit /b %ERRORLEVEL%\r\n")
        return self("cmd", "/c", windows_path(path))

    def reg(self, *args):
        return self("reg", *args, loader=self.loader64)

    def host_path(self, windows_path):
        """The Linux path of a path on drive C: of the prefix."""
        assert windows_path[:3].upper() == "C:\\"
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Installer:
    def __init__(self, kind, package, win64, wine):
        self.kind, self.package, self.win64, self.wine = kind, package, win64, wine

    def build(self, source):
        """Copies the example into the package folder and builds it there."""
        example = "vrkini.nsi" if self.kind == "nsis" else "vrkini.wxs"
        shutil.copy(os.path.join(source, "examples", "installers", example), self.package)
        if self.kind == "nsis":
            # -WX: a warning fails the build.
            argv = ["makensis", "-V2", "-WX"] + (["-DWIN64"] if self.win64 else []) + [example]
            self.file = os.path.join(self.package, "vrkini-setup.exe")
        else:
            argv = ["wixl"] + (["-a", "x64", "-D", "Win64=yes"] if self.win64 else [])
            argv += ["-o", "vrkini.msi", example]
            self.file = os.path.join(self.package, "vrkini.msi")
        if shutil.which(argv[0]) is None:
            raise Failure(argv[0] + " is not installed (scripts/deps --windows installs it)")
        r = run(argv, cwd=self.package)
        output = r.stdout.decode(errors="replace")
        # wixl warns, and goes on, where it leaves out what it cannot express.
        if r.returncode != 0 or not os.path.isfile(self.file) or "warning" in output.lower():
            raise Failure(" ".join(argv) + " failed or warned: " + output)

    def install(self, directory, trace=False):
        if self.kind == "nsis":
            # NSIS takes /D= unquoted, last, blanks and all: a command line
            # that Wine's loader would quote, so it is written as it is into a
            # batch file.
            return self.wine.batch('start "" /wait "%s" /S%s /D=%s' %
                                   (windows_path(self.file), " /TRACE" if trace else "", directory))
        return self.wine("msiexec", "/i", windows_path(self.file), "/qn",
                         "INSTALLDIR=" + directory, *(["VRKINITRACE=1"] if trace else []))

    def reinstall(self, directory):
        # The installer run again. (An installed MSI runs in maintenance
        # mode; Wine's msiexec answers /fa with status 69.)
        if self.kind == "nsis":
            return self.install(directory)
        return self.wine("msiexec", "/i", windows_path(self.file), "/qn")

    def uninstall(self, directory):
        if self.kind == "nsis":
            # Uninstall.exe /S returns at once; the call waits for the prefix
            # to be idle.
            return self.wine(directory + "\\Uninstall.exe", "/S")
        return self.wine("msiexec", "/x", windows_path(self.file), "/qn")


class Test:
    def __init__(self, source, wine, installer):
        self.source, self.wine, self.installer = source, wine, installer
        self.problems = []
        cases = os.path.join(source, "tests", "cases")
        self.example = read(os.path.join(source, "examples", "sv-ini.reg"))
        self.typical_profile = read(os.path.join(cases, "typical-run", "profile.txt"))
        self.typical_report = read(os.path.join(cases, "typical-run-tracing-off", "stdout.txt"))
        self.up_to_date_report = read(
            os.path.join(cases, "typical-run-second-run-finds-nothing-to-do", "stdout.2.txt"))

    def check(self, step, ok, text):
        if not ok:
            self.problems.append(step + ": " + text)
        return ok

    def seed(self, text):
        self.wine.reg("delete", PROFILE_KEY, "/f", "/reg:32")
        path = os.path.join(self.wine.work, "seed.reg")
        write(path, text)
        r = self.wine.reg("import", windows_path(path), "/reg:32")
        if r.returncode != 0:
            raise Failure("reg import failed: " + r.stdout.decode(errors="replace"))

    def profile(self):
        path = os.path.join(self.wine.work, "profile.reg")
        if os.path.exists(path):
            os.remove(path)
        q = self.wine.reg("query", PROFILE_KEY, "/reg:32")
        if q.returncode != 0:
            # reg answers a missing key with exit status 1 and its message;
            # a failure that says nothing is no answer.
            if q.returncode == 1 and q.stdout.strip():
                return "(absent)\n"
            raise Failure("reg query failed (exit status %d): %s" %
                          (q.returncode, q.stdout.decode(errors="replace")))
        # Read back with the package's vrkreg.exe: Wine's reg export drops the
        # last character of a REG_SZ stored without a terminating zero, as
        # the profile's texts are.
        r = self.wine(os.path.join(self.installer.package, "vrkreg.exe"), "export", PROFILE_KEY,
                      os.path.basename(path), "/y", "/reg:32")
        if r.returncode != 0:
            raise Failure("vrkreg export failed: " + r.stdout.decode(errors="replace"))
        return "\n".join(regcanon.canonical_file(path)) + "\n"

    def log(self, directory, name):
        """A log file of the installation folder, CR LF read as LF; None when
        it is missing."""
        folder = self.wine.host_path(directory)
        # vrkini upper-cases the trace file's name; the Linux side of the
        # prefix keeps the letter case.
        found = [f for f in (os.listdir(folder) if os.path.isdir(folder) else [])
                 if f.lower() == name.lower()]
        if not found:
            return None
        path = os.path.join(folder, found[0])
        return read(path, "rb").decode("latin-1").replace("\r\n", "\n")

    def installed(self, step, result, directory, trace=False):
        self.check(step, result.returncode == 0,
                   "the installer ended with status %d: %s" %
                   (result.returncode, result.stdout.decode(errors="replace")))
        folder = self.wine.host_path(directory)
        present = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        self.check(step, all(f in present for f in PACKAGE_FILES),
                   "the installation folder holds %s" % present)

    def compare(self, step, what, expected, got):
        if got == expected:
            return
        if got is None:
            self.problems.append("%s: %s is missing" % (step, what))
            return
        diff = "".join(difflib.unified_diff(expected.splitlines(True), got.splitlines(True),
                                            "expected", "got"))
        self.problems.append("%s: %s differs:\n%s" % (step, what, diff))

    def run(self):
        installer = self.installer
        directory = "C:\\SELVARINE"

        step = "install into " + directory
        self.seed(self.example)
        self.installed(step, installer.install(directory), directory)
        self.compare(step, "the profile", self.typical_profile, self.profile())
        self.check(step, self.wine.reg("query", PROFILE_KEY, "/reg:64").returncode != 0,
                   "the 64-bit registry view holds a profile")
        self.compare(step, "the report in vrkini-update.log", self.typical_report,
                     self.log(directory, "vrkini-update.log"))

        step = "reinstall into " + directory
        self.installed(step, installer.reinstall(directory), directory)
        self.compare(step, "the report in vrkini-update.log", self.up_to_date_report,
                     self.log(directory, "vrkini-update.log"))
        self.compare(step, "the profile", self.typical_profile, self.profile())

        step = "uninstall from " + directory
        write(self.wine.host_path(directory + "\\SV.INI"), "a file of the profile's name\n")
        r = installer.uninstall(directory)
        self.check(step, r.returncode == 0, "the uninstaller ended with status %d: %s" %
                   (r.returncode, r.stdout.decode(errors="replace")))
        folder = self.wine.host_path(directory)
        left = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        self.check(step, "SV.INI" not in left, "vrkini -DELETE did not remove SV.INI from the "
                   "installation folder")
        self.check(step, not left, "the installation folder still holds %s" % left)
        self.compare(step, "the profile (which -DELETE keeps)", self.typical_profile,
                     self.profile())

        step = "install into " + SPACES_DIR
        moved = SPACES_DIR.replace("\\", "\\\\") + "\\\\"
        samples_moved = lambda text: re.sub(r'(?i)"c:\\\\selvarine\\\\', lambda m: '"' + moved, text)
        self.seed(samples_moved(self.example))
        self.installed(step, installer.install(SPACES_DIR), SPACES_DIR)
        self.compare(step, "the profile", samples_moved(self.typical_profile), self.profile())
        self.compare(step, "the report in vrkini-update.log", self.typical_report,
                     self.log(SPACES_DIR, "vrkini-update.log"))
        installer.uninstall(SPACES_DIR)

        step = "install with no profile, traced"
        self.wine.reg("delete", PROFILE_KEY, "/f", "/reg:32")
        self.installed(step, installer.install(directory, trace=True), directory)
        self.compare(step, "the report in vrkini-update.log", "",
                     self.log(directory, "vrkini-update.log"))
        trace = self.log(directory, "vrkini-trace.log")
        self.check(step, trace is not None and "No Selvarine profile was found" in trace,
                   "the trace holds no \"No Selvarine profile was found\": %s" % trace)
        self.compare(step, "the profile", "(absent)\n", self.profile())
        return self.problems


def main(argv):
    if len(argv) not in (9, 10) or argv[1] not in ("nsis", "msi"):
        sys.stderr.write(__doc__)
        return 2
    kind, build, source, cmake, loader, loader64, server, work = argv[1:9]
    win64 = argv[9:] == ["--win64"]
    wine = Wine(loader, loader64, server, os.path.join(work, "prefix"), work)
    wine.stop()
    shutil.rmtree(work, ignore_errors=True)
    package = os.path.join(work, "package")
    os.makedirs(work)
    try:
        r = run([cmake, "--install", build, "--prefix", package])
        if r.returncode != 0:
            raise Failure("cmake --install failed: " + r.stdout.decode(errors="replace"))
        installer = Installer(kind, package, win64, wine)
        installer.build(source)
        wine.make(source)
        problems = Test(source, wine, installer).run()
    except Failure as e:
        problems = [str(e)]
    if problems:
        print("FAIL\n" + "\n".join(problems))
        return 1
    print("%s installer: install, reinstall, uninstall, a folder with blanks and no profile "
          "as expected" % kind)
    wine.stop()
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
