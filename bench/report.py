#!/usr/bin/env python3
"""Turns bench/results/whole_runs.json into the table (table.md), the plot
data (whole_runs.dat) and a PNG plot drawn by gnuplot (whole_runs.png): wall
time against N, log scale, for our store and, when measured, Wine's.

    report.py RESULTS_DIR
"""
import json
import pathlib
import shutil
import subprocess
import sys


def ms(s):
    return f"{s * 1000:.1f}"


def main():
    out = pathlib.Path(sys.argv[1])
    r = json.loads((out / "whole_runs.json").read_text())
    sizes = sorted(r["sizes"], key=int)
    wine = all("wine_vrkini_s" in r["sizes"][n] for n in sizes)
    wine32 = all("wine32_vrkini_s" in r["sizes"][n] for n in sizes)
    lines = ["| N | vrkini -UPDATE (median ms) | peak RSS (MiB) | vrkreg import (median ms) | import peak RSS (MiB) |"
             + (" vrkini.exe on Wine (median ms) |" if wine else "")
             + (" 32-bit vrkini.exe on Wine (median ms) |" if wine32 else ""),
             "|---|---|---|---|---|" + ("---|" if wine else "") + ("---|" if wine32 else "")]
    for n in sizes:
        e = r["sizes"][n]
        lines.append(f"| {int(n):,} | {ms(e['vrkini_s'])} | {e['vrkini_rss_kib'] / 1024:.1f} | "
                     f"{ms(e['import_s'])} | {e['import_rss_kib'] / 1024:.1f} |"
                     + (f" {ms(e['wine_vrkini_s'])} |" if wine else "")
                     + (f" {ms(e['wine32_vrkini_s'])} |" if wine32 else ""))
    lines.append("")
    lines.append(f"Do-nothing program start (median): {ms(r['noop'])} ms"
                 + (f"; under Wine: {ms(r['wine_noop'])} ms" if "wine_noop" in r else "")
                 + (f"; under Wine's 32-bit loader: {ms(r['wine32_noop'])} ms"
                    if "wine32_noop" in r else ""))
    if "wine32_note" in r:
        lines.append(f"32-bit side: {r['wine32_note']}")
    if "wine" in r:
        lines.append(f"Wine side: {r['wine']}")
    # Cost per query entry: the slope between consecutive sizes.
    lines.append("")
    lines.append("| between | vrkini µs per entry |" + (" vrkini.exe on Wine µs per entry | ratio |" if wine else ""))
    lines.append("|---|---|" + ("---|---|" if wine else ""))
    for a, b in zip(sizes, sizes[1:]):
        ea, eb = r["sizes"][a], r["sizes"][b]
        dn = int(b) - int(a)
        ours = (eb["vrkini_s"] - ea["vrkini_s"]) / dn * 1e6
        row = f"| {int(a):,} – {int(b):,} | {ours:.2f} |"
        if wine:
            theirs = (eb["wine_vrkini_s"] - ea["wine_vrkini_s"]) / dn * 1e6
            row += f" {theirs:.2f} | {theirs / ours if ours > 0 else float('inf'):.1f}× |"
        lines.append(row)
    if "10000" in r["sizes"] and "100000" in r["sizes"]:
        ratio = r["sizes"]["100000"]["vrkini_s"] / r["sizes"]["10000"]["vrkini_s"]
        lines.append("")
        lines.append(f"100,000 run / 10,000 run: {ratio:.2f}×")
    if "0" in r["sizes"]:
        lines.append(f"N = 0 run / do-nothing start: {r['sizes']['0']['vrkini_s'] / r['noop']:.2f}×")
        if wine and "wine_noop" in r:
            lines.append(f"N = 0 run under Wine / do-nothing start under Wine: "
                         f"{r['sizes']['0']['wine_vrkini_s'] / r['wine_noop']:.2f}×")
    (out / "table.md").write_text("\n".join(lines) + "\n")
    print("\n".join(lines))

    with open(out / "whole_runs.dat", "w") as f:
        f.write("# N vrkini_ms import_ms" + (" wine_ms" if wine else "") + "\n")
        for n in sizes:
            e = r["sizes"][n]
            f.write(f"{max(int(n), 1)} {e['vrkini_s'] * 1000} {e['import_s'] * 1000}"
                    + (f" {e['wine_vrkini_s'] * 1000}" if wine else "") + "\n")
    if shutil.which("gnuplot") is None:
        print("gnuplot missing (scripts/deps --bench): no plot", file=sys.stderr)
        return
    plot = [
        "set terminal png size 800,560",
        f"set output '{out / 'whole_runs.png'}'",
        "set logscale xy", "set grid",
        "set xlabel 'N (queries in the profile; 0 drawn at 1)'",
        "set ylabel 'wall time, median (ms)'",
        "set key top left",
        "set title 'vrkini -UPDATE and vrkreg import, 1,000 other applications'",
        f"plot '{out / 'whole_runs.dat'}' using 1:2 with linespoints title 'vrkini -UPDATE (SQLite store)', "
        f"'' using 1:3 with linespoints title 'vrkreg import'"
        + (", '' using 1:4 with linespoints title 'vrkini.exe on Wine registry'" if wine else ""),
    ]
    subprocess.run(["gnuplot"], input="\n".join(plot), text=True, check=True)


if __name__ == "__main__":
    main()
