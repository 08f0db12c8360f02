"""The Wine side of the whole runs: vrkini.exe on Wine's registry.

A private prefix is made once (wineboot -i). For each profile, Wine's own
`reg import /reg:32` loads it and the prefix's registry files are saved once
the server has written them (wineserver -w). Each run then restores those
files with the server stopped, starts a persistent server, lets a trivial
program (the noop) load the registry, and times vrkini.exe alone, so that
neither the server's start nor the registry load counts against Wine.
"""
import os
import pathlib
import shutil
import statistics
import subprocess
import time

REG_FILES = ["system.reg", "user.reg", "userdef.reg"]


class WineSide:
    def __init__(self, exe, prefix):
        self.exe = exe
        self.noop = exe.parent / "bench_noop.exe"
        self.prefix = prefix
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEARCH="win64")
        self.env.pop("DISPLAY", None)
        self.saved = prefix.parent / "wine-loaded"
        subprocess.run(["wineboot", "-i"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._stop()
        self.clean = prefix.parent / "wine-clean"
        self.clean.mkdir()
        for f in REG_FILES:
            shutil.copy2(prefix / f, self.clean / f)

    def _stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env)

    def _start(self):
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        self._run([self.noop if self.noop.exists() else "cmd", "/c", "exit"])

    def _run(self, argv):
        start = time.perf_counter()
        subprocess.run(["wine", *map(str, argv)], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return time.perf_counter() - start

    def _restore(self, source):
        self._stop()
        for f in REG_FILES:
            shutil.copy2(source / f, self.prefix / f)
        self._start()

    def noop_median(self, runs):
        self._restore(self.clean)
        return statistics.median(self._run([self.noop, "/c", "exit"]) for _ in range(runs))

    def load(self, reg):
        self._restore(self.clean)
        self._run(["reg", "import", reg, "/reg:32"])
        self._stop()
        shutil.rmtree(self.saved, ignore_errors=True)
        self.saved.mkdir()
        for f in REG_FILES:
            shutil.copy2(self.prefix / f, self.saved / f)

    def run_once(self, n):
        self._restore(self.saved)
        return self._run([self.exe, "-UPDATE", "C:\\SELVARINE"])

    def close(self):
        self._stop()
