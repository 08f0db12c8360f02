#!/usr/bin/env python3
"""Writes a realistic Selvarine profile as a REGEDIT4 .reg file.

The file holds the example profile's entries (examples/sv-ini.reg), N queries
in "SQLQueryFolder" and, beside the profile, a number of other applications
in HKEY_LOCAL_MACHINE\\Software, as a machine with the suite installed has.
With N >= 76 all 76 sample queries of C:\\SELVARINE are among the N; the rest
are other queries, half of them in the sample directory, half elsewhere.

    make_profile.py N OUT.reg [--apps 1000] [--example examples/sv-ini.reg]
"""
import argparse
import pathlib
import re

SAMPLES = """VRKQD2CD VRKQD2CN VRKQD2DC VRKQD2FK VRKQD2IG VRKQD2PD VRKQD2TG VRKQD2TI
VRKQD2TS VRKQD2VG VRKQDAM VRKQDEA VRKQDEAU VRKQDEDC VRKQDEG VRKQDEU VRKQDFN VRKQDI
VRKQDMBP VRKQDMCD VRKQDMCN VRKQDMDC VRKQDMFK VRKQDMGG VRKQDMIG VRKQDMPD VRKQDMSG
VRKQDMTC VRKQDMTG VRKQDMTI VRKQDMTS VRKQDMVG VRKQDOCD VRKQDOCN VRKQDOFK VRKQDOIG
VRKQDOPD VRKQDOTG VRKQDOTS VRKQDOVG VRKQDSA VRKQDSAU VRKQDSG VRKQDSN VRKQDSU VRKQDU
VRKQISG VRKQMICU VRKQMVU VRKQPG VRKQPU VRKQRA VRKQRDC VRKQROC VRKQRS VRKQRSC
VRKQTDCD VRKQTDCN VRKQTDFK VRKQTDG VRKQTDU VRKQID1G VRKQID2G VRKQID3G VRKQID4G
VRKQID5G VRKQID6G VRKQID7G VRKQID8G VRKQID9G VRKQIFG VRKQIS1G VRKQIS2G VRKQIS3G
VRKQIS4G VRKQIS5G""".split()
assert len(SAMPLES) == 76

PROFILE = r"HKEY_LOCAL_MACHINE\Software\SV.INI"


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def example_body(path):
    """The example's key blocks, minus its header, comments and queries."""
    lines = pathlib.Path(path).read_text(encoding="utf-8").splitlines()
    out, skipping = [], False
    for line in lines[1:]:
        if line.startswith(";"):
            continue
        if line.startswith("["):
            skipping = "\\SQLQueryFolder\\" in line
        if not skipping:
            out.append(line)
    return out


def queries(n):
    """(name, file) pairs: the samples first, then others, half in the sample folder."""
    result = []
    for i, name in enumerate(SAMPLES[:n]):
        result.append((f"Sample {i:02d} {name}", f"C:\\SELVARINE\\SAMPLES\\QUERY\\{name}.QRY"))
    for i in range(max(0, n - len(SAMPLES))):
        if i % 2:
            file = f"C:\\SELVARINE\\SAMPLES\\QUERY\\USERQ{i:06d}.QRY"
        else:
            file = f"D:\\PROJECTS\\Q{i % 97:02d}\\QUERY{i:06d}.QRY"
        result.append((f"Query {i:06d}", file))
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("n", type=int)
    ap.add_argument("out")
    ap.add_argument("--apps", type=int, default=1000)
    ap.add_argument("--example", default=str(pathlib.Path(__file__).parent.parent / "examples/sv-ini.reg"))
    args = ap.parse_args()

    with open(args.out, "w", encoding="ascii", newline="\r\n") as f:
        f.write("REGEDIT4\n\n")
        for i in range(args.apps):
            app = f"HKEY_LOCAL_MACHINE\\Software\\Vendor{i:04d}"
            f.write(f"[{app}]\n\n[{app}\\Settings]\n")
            install_dir = reg_string("C:\\Program Files\\Vendor%04d" % i)
            f.write(f'"InstallDir"={install_dir}\n')
            f.write(f'"Version"=dword:{i:08x}\n\n')
        body = "\n".join(example_body(args.example))
        f.write(re.sub(r"\n{3,}", "\n\n", body).strip("\n") + "\n\n")
        for name, file in queries(args.n):
            f.write(f"[{PROFILE}\\SQLQueryFolder\\{name}]\n")
            f.write('"DataType"="String"\n')
            f.write(f'"Data"={reg_string(file)}\n\n')


if __name__ == "__main__":
    main()
