#!/usr/bin/env python3
"""Whole runs on an offline Windows image's hive beside our SQLite store.

For each N: writes the profile (make_profile.py), imports it with `vrkreg
import` into a fresh SQLite store and into a fresh image whose SOFTWARE and
SYSTEM hives are copies of hivex's `minimal` (a hive cut from Windows 2003),
then runs `vrkini -UPDATE C:\\SELVARINE` once on a copy of each. Reports wall
time and peak memory (/usr/bin/time) of both, and the hive's size against
the .reg text's, as a Markdown table on standard output and in OUT/hive.md.

    hive_runs.py --build DIR --out DIR [--sizes 1000,10000]
"""
import argparse
import pathlib
import shutil
import subprocess
import sys
import tempfile

from whole_runs import clean_env, timed

HERE = pathlib.Path(__file__).resolve().parent


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--sizes", default="1000,10000")
    args = ap.parse_args()
    build = pathlib.Path(args.build).resolve()
    vrkini, vrkreg = build / "bin/vrkini", build / "bin/vrkreg"
    seed = HERE.parent / "tests/hives/minimal"
    rows = ["| N queries | .reg | store | import | import peak | hive size | ×.reg | vrkini -UPDATE | vrkini peak |",
            "|---:|---:|---|---:|---:|---:|---:|---:|---:|"]
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        for n in [int(x) for x in args.sizes.split(",")]:
            reg = work / f"profile-{n}.reg"
            subprocess.run([sys.executable, HERE / "make_profile.py", str(n), reg], check=True)
            reg_size = reg.stat().st_size
            for kind in ("sqlite", "hive"):
                store = work / f"{kind}-{n}"
                store.mkdir()
                where = store
                if kind == "hive":
                    for hive in ("SOFTWARE", "SYSTEM"):
                        shutil.copy(seed, store / hive)
                        (store / hive).chmod(0o644)
                    where = f"hive:{store}"
                imp = timed([vrkreg, "import", reg], clean_env(where))
                size = (store / "SOFTWARE").stat().st_size if kind == "hive" else \
                    sum(p.stat().st_size for p in store.iterdir())
                copy = work / f"{kind}-{n}-run"
                shutil.copytree(store, copy)
                where = f"hive:{copy}" if kind == "hive" else copy
                run = timed([vrkini, "-UPDATE", "C:\\SELVARINE"], clean_env(where), cwd=copy)
                rows.append(f"| {n} | {reg_size/1024:.0f} KiB | {kind} | {imp[0]:.2f} s | "
                            f"{imp[1]/1024:.0f} MiB | {size/1024:.0f} KiB | {size/reg_size:.1f} | "
                            f"{run[0]:.2f} s | {run[1]/1024:.0f} MiB |")
                print(rows[-1], flush=True)
    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    (out / "hive.md").write_text("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
