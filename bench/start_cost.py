#!/usr/bin/env python3
"""The start cost of `vrkini -UPDATE` when there is nothing to update, as a
ratio to a bare process start.

Writes the profile of N = 0 (make_profile.py: the example profile among 1,000
other applications in HKEY_LOCAL_MACHINE\\Software, no queries), loads it with
`vrkreg import`, then alternates RUNS times: `/bin/true`, `vrkini -UPDATE
C:\\SELVARINE` on a fresh copy of the loaded store (it updates 5 options of
the example profile, as in whole_runs.py), and the same on a store it has
updated once already (nothing left to change), with every TORQA_* variable
unset (tracing off). Each run is started with posix_spawn and timed to its
exit, output to /dev/null, so all see the same machine load and the same
measuring; the figures are ratios of the medians. With --callgrind, the
instructions of one run of each under valgrind's callgrind (repeatable,
unlike wall time on a shared machine).

Writes OUT/start_cost.json and OUT/start_cost.md.

    start_cost.py --build DIR --out DIR [--runs 41] [--callgrind]
"""
import argparse
import json
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
TRUE = "/bin/true"


def clean_env(store):
    env = {k: v for k, v in os.environ.items() if not k.upper().replace(" ", "_").startswith("TORQA_")}
    env["TORQA_REGISTRY"] = str(store)
    return env


def spawn_time(argv, env, cwd):
    """Wall seconds from posix_spawn to the exit of argv; fails on a non-zero exit."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        old = os.getcwd()
        os.chdir(cwd)
        try:
            start = time.perf_counter()
            pid = os.posix_spawn(argv[0], argv, env, file_actions=[
                (os.POSIX_SPAWN_DUP2, devnull, 1), (os.POSIX_SPAWN_DUP2, devnull, 2)])
            _, status = os.waitpid(pid, 0)
            wall = time.perf_counter() - start
        finally:
            os.chdir(old)
    finally:
        os.close(devnull)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(argv)}: exit {os.waitstatus_to_exitcode(status)}")
    return wall


def instructions(argv, env, cwd):
    """Instructions of one run under callgrind (valgrind's "I refs")."""
    with tempfile.TemporaryDirectory() as tmp:
        p = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={tmp}/out", *argv],
                           env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if p.returncode != 0:
            sys.exit(f"valgrind {' '.join(argv)}: exit {p.returncode}\n{p.stderr}")
        m = re.search(r"I\s+refs:\s+([\d,]+)", p.stderr)
        return int(m.group(1).replace(",", ""))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--runs", type=int, default=41)
    ap.add_argument("--callgrind", action="store_true")
    args = ap.parse_args()
    build = pathlib.Path(args.build).resolve()
    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    vrkini, vrkreg = build / "bin/vrkini", build / "bin/vrkreg"
    work = pathlib.Path(tempfile.mkdtemp(prefix="vrkstart."))
    try:
        reg = work / "profile-0.reg"
        subprocess.run([sys.executable, HERE / "make_profile.py", "0", reg], check=True)
        base = work / "loaded"
        base.mkdir()
        subprocess.run([vrkreg, "import", reg], env=clean_env(base), check=True,
                       stdout=subprocess.DEVNULL)
        update = [str(vrkini), "-UPDATE", "C:\\SELVARINE"]
        # A store updated once already: the next runs find nothing to change.
        settled = work / "settled"
        shutil.copytree(base, settled)
        spawn_time(update, clean_env(settled), settled)
        bare, ours, again = [], [], []
        for r in range(args.runs):
            store = work / "run"
            shutil.rmtree(store, ignore_errors=True)
            shutil.copytree(base, store)
            env = clean_env(store)
            bare.append(spawn_time([TRUE], env, store))
            ours.append(spawn_time(update, env, store))
            again.append(spawn_time(update, clean_env(settled), settled))
        result = {
            "runs": args.runs,
            "true_ms": statistics.median(bare) * 1000,
            "vrkini_ms": statistics.median(ours) * 1000,
            "vrkini_again_ms": statistics.median(again) * 1000,
            "load_average": open("/proc/loadavg").read().split()[:3],
        }
        result["ratio"] = result["vrkini_ms"] / result["true_ms"]
        result["ratio_again"] = result["vrkini_again_ms"] / result["true_ms"]
        if args.callgrind:
            store = work / "run"
            shutil.rmtree(store, ignore_errors=True)
            shutil.copytree(base, store)
            result["vrkini_instructions"] = instructions(update, clean_env(store), store)
            result["vrkini_again_instructions"] = instructions(update, clean_env(settled), settled)
            result["true_instructions"] = instructions([TRUE], clean_env(store), store)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    (out / "start_cost.json").write_text(json.dumps(result, indent=1) + "\n")
    lines = [
        "| run (N = 0, 1,000 other applications) | median ms | instructions |",
        "|---|---|---|",
        f"| /bin/true | {result['true_ms']:.2f} | {result.get('true_instructions', 0):,} |",
        f"| vrkini -UPDATE, fresh copy of the loaded store (5 options updated) | "
        f"{result['vrkini_ms']:.2f} | {result.get('vrkini_instructions', 0):,} |",
        f"| vrkini -UPDATE again on an updated store (nothing changes) | "
        f"{result['vrkini_again_ms']:.2f} | {result.get('vrkini_again_instructions', 0):,} |",
        "",
        f"Against /bin/true: {result['ratio']:.2f}x (fresh copy), {result['ratio_again']:.2f}x "
        f"(nothing changes); {args.runs} runs each, interleaved; load average "
        f"{' '.join(result['load_average'])} at the end.",
    ]
    (out / "start_cost.md").write_text("\n".join(lines) + "\n")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
