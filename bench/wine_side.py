"""The Wine side of the whole runs: vrkini.exe on Wine's registry.

The program is the 64-bit Windows build's vrkini.exe, run by Wine's 64-bit
loader (wine64): it reads HKEY_LOCAL_MACHINE\\Software in the 32-bit view
(KEY_WOW64_32KEY), where Wine's `reg import FILE /reg:32` puts the profiles,
as a 32-bit vrkini.exe would see them on 64-bit Windows. The 32-bit build
(the suite's own kind), when given, runs beside it under Wine's 32-bit loader
on the same registry.

A private prefix is made once under the work directory given (wineboot -i,
WINEDEBUG=-all). For each profile, Wine's own `reg import /reg:32` loads it
and the prefix's registry files are kept once the server has written them.
Each run then restores those files with the server stopped, starts a
persistent server, lets a trivial program (the do-nothing program, built
with the cross compiler) load the registry, and times vrkini.exe alone, so
that neither the server's start nor the registry load counts against Wine.
"""
import os
import pathlib
import shutil
import statistics
import subprocess
import time

REG_FILES = ["system.reg", "user.reg", "userdef.reg"]
WINE_DIRS = ["/usr/lib/wine", "/usr/lib/x86_64-linux-gnu/wine"]
CROSS_CXX = {64: "x86_64-w64-mingw32-g++-posix", 32: "i686-w64-mingw32-g++-posix"}
LOADER = {64: "wine64", 32: "wine"}
PROFILE_KEY = r"HKEY_LOCAL_MACHINE\Software\SV.INI\SQLQueryFolder"


def find_wine():
    """(wine64, wineserver) from Wine's library directory, or None."""
    for d in WINE_DIRS:
        loader = pathlib.Path(d) / "wine64"
        for server in ("wineserver64", "wineserver"):
            if loader.exists() and (pathlib.Path(d) / server).exists():
                return loader, pathlib.Path(d) / server
    return None


def windows_path(path):
    """A Linux path as Wine's drive Z: shows it."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


class WineSide:
    """exe: the 64-bit vrkini.exe; exe32, when given, the 32-bit one, run by
    Wine's 32-bit loader in the same prefix on the same registry."""

    def __init__(self, exe, work, source_dir, exe32=None):
        found = find_wine()
        if found is None:
            raise RuntimeError("no wine64 loader in " + " or ".join(WINE_DIRS))
        self.loader, self.server = found
        self.loaders = {64: self.loader, 32: self.loader.parent / LOADER[32]}
        self.exes = {64: exe}
        if exe32 is not None:
            self.exes[32] = exe32
        self.exe = exe
        self.work = work
        self.prefix = work / "wineprefix"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINESERVER=str(self.server), WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("DISPLAY", None)
        self.env = {k: v for k, v in self.env.items()
                    if not k.upper().replace(" ", "_").startswith("TORQA_")}
        self.noops = {}
        for bits in self.exes:
            self.noops[bits] = work / f"bench_noop{bits}.exe"
            subprocess.run([CROSS_CXX[bits], "-O2", "-static", "-o", self.noops[bits],
                            source_dir / "bench/noop.cpp"], check=True)
        self.noop = self.noops[64]
        self.saved = work / "wine-loaded"
        self.clean = work / "wine-clean"
        self._stop()
        shutil.rmtree(self.prefix, ignore_errors=True)
        subprocess.run([self.loader, "wineboot", "-i"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._stop()
        shutil.rmtree(self.clean, ignore_errors=True)
        self.clean.mkdir()
        for f in REG_FILES:
            shutil.copy2(self.prefix / f, self.clean / f)

    def describe(self):
        version = subprocess.run([self.loader, "--version"], env=self.env, capture_output=True,
                                 text=True).stdout.strip()
        text = f"{self.exe.name} (64-bit build, 32-bit registry view) under {self.loader} ({version})"
        if 32 in self.exes:
            text += f"; the 32-bit build under {self.loaders[32]}"
        return text

    def _stop(self):
        subprocess.run([self.server, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run([self.server, "-w"], env=self.env)

    def _start(self):
        subprocess.run([self.server, "-p"], env=self.env, check=True)
        self._run([self.noop])

    def _run(self, argv, capture=False, bits=64):
        start = time.perf_counter()
        p = subprocess.run([self.loaders[bits], *map(str, argv)], env=self.env, check=True,
                           stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, text=True)
        elapsed = time.perf_counter() - start
        return (elapsed, p.stdout) if capture else elapsed

    def _restore(self, source):
        self._stop()
        for f in REG_FILES:
            shutil.copy2(source / f, self.prefix / f)
        self._start()

    def noop_median(self, runs, bits=64):
        self._restore(self.clean)
        return statistics.median(self._run([self.noops[bits]], bits=bits) for _ in range(runs))

    def load(self, reg):
        self._restore(self.clean)
        self._run(["reg", "import", windows_path(reg), "/reg:32"])
        self._stop()  # the server writes the registry files as it ends
        shutil.rmtree(self.saved, ignore_errors=True)
        self.saved.mkdir()
        for f in REG_FILES:
            shutil.copy2(self.prefix / f, self.saved / f)

    def queries_left(self):
        """The number of queries in the profile's query folder (32-bit view), or None."""
        try:
            _, out = self._run(["reg", "query", PROFILE_KEY, "/reg:32"], capture=True)
        except subprocess.CalledProcessError:
            return None
        return sum(1 for line in out.splitlines()
                   if line.strip().upper().startswith(PROFILE_KEY.upper() + "\\"))

    def run_once(self, n, check=False, bits=64):
        self._restore(self.saved)
        elapsed = self._run([self.exes[bits], "-UPDATE", "C:\\SELVARINE"], bits=bits)
        if check:
            left = self.queries_left()
            expected = max(0, n - 76)
            if (left or 0) != expected:
                raise RuntimeError(f"Wine, N={n}: {left} queries left, expected {expected}")
        return elapsed

    def close(self):
        self._stop()
