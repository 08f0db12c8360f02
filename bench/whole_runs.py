#!/usr/bin/env python3
"""Times whole runs of vrkreg import and vrkini -UPDATE on generated profiles.

For each N: writes the profile (make_profile.py), imports it into a fresh
store RUNS times (the first import is kept as the loaded store), then runs
`vrkini -UPDATE C:\\SELVARINE` RUNS times, each on a fresh copy of the loaded
store, with tracing off. Each run's wall time is taken around the child
process and its peak memory from /usr/bin/time ("Maximum resident set
size"). Every vrkini run is
checked: the samples are gone, every other query is kept.

With --wine, the same profiles are loaded into a Wine prefix (made in
--wine-dir) with `reg import /reg:32` and the 64-bit vrkini.exe runs there
too, interleaved with ours (wine_side.py).

    whole_runs.py --build DIR --out DIR [--runs 5] [--sizes 0,1000,...]
                  [--wine EXE [--wine-dir DIR]]
"""
import argparse
import json
import os
import pathlib
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
PROFILE = ["Software", "SV.INI", "SQLQueryFolder"]


def clean_env(store):
    env = {k: v for k, v in os.environ.items() if not k.upper().replace(" ", "_").startswith("TORQA_")}
    env["TORQA_REGISTRY"] = str(store)
    return env


def timed(argv, env, cwd=None):
    """(seconds, peak RSS in KiB) of one run; fails on a non-zero exit.

    The peak comes from /usr/bin/time (a small parent, unlike this Python
    process, whose memory a forked child would count before its exec); the
    wall time is taken around it, so each figure carries time's own start,
    the same for every program measured, the do-nothing one included."""
    with tempfile.NamedTemporaryFile("r") as rss:
        start = time.perf_counter()
        p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss.name, *map(str, argv)], env=env,
                           cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        wall = time.perf_counter() - start
        if p.returncode != 0:
            sys.exit(f"{' '.join(map(str, argv))}: exit {p.returncode}\n{p.stderr.decode(errors='replace')}")
        return wall, int(rss.read().split()[-1])


def queries_left(store):
    """Names of the queries left in the profile's query folder, and whether the marker is there."""
    db = sqlite3.connect(f"file:{store}/registry.db?mode=ro", uri=True)
    def child(parent, name):
        for (kid, kname) in db.execute("SELECT id, name FROM keys WHERE parent = ?", (parent,)):
            if bytes(kname).decode().upper() == name.upper():
                return kid
        return None
    key = 3  # HKEY_LOCAL_MACHINE
    for part in PROFILE:
        key = child(key, part)
        if key is None:
            return None, None
    names = [bytes(n).decode() for (n,) in db.execute("SELECT name FROM keys WHERE parent = ?", (key,))]
    misc = child(child(3, "Software"), "SV.INI")
    misc = child(misc, "Miscellaneous")
    marker = misc is not None and child(misc, "AddedSQLQuerySamples") is not None
    db.close()
    return names, marker


def check_result(store, n):
    names, _ = queries_left(store)
    if names is None:
        if n == 0:
            return  # no queries, no folder
        sys.exit(f"N={n}: the query folder is gone")
    samples = [x for x in names if x.startswith("Sample ")]
    expected = max(0, n - 76)
    if samples or len(names) != expected:
        sys.exit(f"N={n}: {len(samples)} samples left, {len(names)} queries (expected {expected})")


def median(xs):
    return statistics.median(xs)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--sizes", default="0,1000,10000,100000")
    ap.add_argument("--wine", default="", help="vrkini.exe (64-bit build) to run under Wine beside ours")
    ap.add_argument("--wine32", default="", help="vrkini.exe (32-bit build) to run under Wine's 32-bit loader")
    ap.add_argument("--wine32-note", default="", help="why the 32-bit build was not measured")
    ap.add_argument("--wine-dir", default=str(HERE.parent / "build-wine-bench"),
                    help="where the Wine prefix and its saved registries are kept")
    args = ap.parse_args()
    build = pathlib.Path(args.build).resolve()
    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    vrkini, vrkreg, noop = build / "bin/vrkini", build / "bin/vrkreg", build / "bench/bench_noop"
    sizes = [int(s) for s in args.sizes.split(",")]
    work = pathlib.Path(tempfile.mkdtemp(prefix="vrkbench."))
    wine = None
    if args.wine:
        from wine_side import WineSide  # only with --wine
        wine_dir = pathlib.Path(args.wine_dir).resolve()
        wine_dir.mkdir(parents=True, exist_ok=True)
        wine = WineSide(pathlib.Path(args.wine).resolve(), wine_dir, HERE.parent,
                        pathlib.Path(args.wine32).resolve() if args.wine32 else None)
    results = {"runs": args.runs, "sizes": {}}
    if args.wine32_note:
        results["wine32_note"] = args.wine32_note
    if wine:
        results["wine"] = wine.describe()
        print("Wine side:", results["wine"], flush=True)
    try:
        # The floor: starting a program that does nothing (same compiler and runtime).
        results["noop"] = median([timed([noop], dict(os.environ))[0] for _ in range(max(args.runs, 9))])
        if wine:
            results["wine_noop"] = wine.noop_median(max(args.runs, 9))
            if 32 in wine.exes:
                results["wine32_noop"] = wine.noop_median(max(args.runs, 9), bits=32)
        for n in sizes:
            reg = work / f"profile-{n}.reg"
            subprocess.run([sys.executable, HERE / "make_profile.py", str(n), reg], check=True)
            imports, runs, wine_runs, wine32_runs = [], [], [], []
            base = work / f"loaded-{n}"
            for r in range(args.runs):
                store = work / f"import-{n}-{r}"
                store.mkdir()
                imports.append(timed([vrkreg, "import", reg], clean_env(store)))
                if r == 0:
                    store.rename(base)
                else:
                    shutil.rmtree(store)
            if wine:
                wine.load(reg)
            for r in range(args.runs):
                store = work / f"run-{n}-{r}"
                shutil.copytree(base, store)
                runs.append(timed([vrkini, "-UPDATE", "C:\\SELVARINE"], clean_env(store), cwd=store))
                check_result(store, n)
                shutil.rmtree(store)
                if wine:
                    wine_runs.append(wine.run_once(n, check=(r == 0)))
                    if 32 in wine.exes:
                        wine32_runs.append(wine.run_once(n, check=(r == 0), bits=32))
            entry = {
                "import_s": median([w for w, _ in imports]),
                "import_rss_kib": max(m for _, m in imports),
                "vrkini_s": median([w for w, _ in runs]),
                "vrkini_rss_kib": max(m for _, m in runs),
                "vrkini_all_s": [w for w, _ in runs],
            }
            if wine:
                entry["wine_vrkini_s"] = median(wine_runs)
                entry["wine_all_s"] = wine_runs
                if wine32_runs:
                    entry["wine32_vrkini_s"] = median(wine32_runs)
                    entry["wine32_all_s"] = wine32_runs
            results["sizes"][str(n)] = entry
            print(f"N={n:>6}: vrkini {entry['vrkini_s']*1000:9.1f} ms {entry['vrkini_rss_kib']/1024:6.1f} MiB"
                  f"   import {entry['import_s']*1000:9.1f} ms {entry['import_rss_kib']/1024:6.1f} MiB"
                  + (f"   wine {entry['wine_vrkini_s']*1000:9.1f} ms" if wine else "")
                  + (f"   wine32 {entry['wine32_vrkini_s']*1000:9.1f} ms" if wine32_runs else ""),
                  flush=True)
    finally:
        if wine:
            wine.close()
        shutil.rmtree(work, ignore_errors=True)
    (out / "whole_runs.json").write_text(json.dumps(results, indent=1) + "\n")


if __name__ == "__main__":
    main()
