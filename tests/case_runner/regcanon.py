#!/usr/bin/env python3
"""Canonical form of an exported .reg file.

Reads a .reg file as `vrkreg export` and Windows' (or Wine's) `reg export`
write it (UTF-16 with a byte order mark, or 8-bit text) and prints it with
keys and values in a fixed order, one line per key and one per value:

    [HKEY_LOCAL_MACHINE\\Software\\SV.INI\\CobolPopulate\\Cmdfile]
    "0"=hex:76,72,6b,...
    "DataType"="Binary"

Keys are ordered by their path, name by name, and values by name, both
comparing upper-cased names first and the names as written second. Types
and bytes stay exact: strings as quoted text, DWORDs as dword:, every other
type as hex or hex(N): with the bytes on one line. Only the order of keys
and values and the line breaks of long hex data do not count.

    regcanon.py FILE        prints the canonical form of FILE
"""

import sys


class RegFormatError(Exception):
    pass


def decode(data):
    """The text of a .reg file's bytes."""
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    if data.startswith(b"\xef\xbb\xbf"):
        return data[3:].decode("utf-8")
    return data.decode("latin-1")


def logical_lines(text):
    """The file's lines with hex continuations joined."""
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    out = []
    pending = None
    for line in lines:
        if pending is not None:
            line = pending + line.lstrip(" \t")
            pending = None
        if line.endswith("\\") and "=hex" in line:
            pending = line[:-1]
            continue
        out.append(line)
    if pending is not None:
        out.append(pending)
    return out


def parse_quoted(text, start):
    """A quoted string at text[start] ('"'): its text and the index after it."""
    assert text[start] == '"'
    out = []
    i = start + 1
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append(text[i + 1])
            i += 2
            continue
        if c == '"':
            return "".join(out), i + 1
        out.append(c)
        i += 1
    raise RegFormatError("unterminated string: " + text)


def quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def canonical_data(data, line):
    """The canonical text of a value's data (after the "=")."""
    if data.startswith('"'):
        value, end = parse_quoted(data, 0)
        if data[end:].strip():
            raise RegFormatError("text after a string value: " + line)
        return quoted(value)
    lower = data.lower()
    if lower.startswith("dword:"):
        return "dword:%08x" % int(data[6:], 16)
    if lower.startswith("hex"):
        colon = data.index(":")
        kind = lower[:colon]
        if kind.startswith("hex(") and kind.endswith(")"):
            kind = "hex(%x)" % int(kind[4:-1], 16)
        elif kind != "hex":
            raise RegFormatError("unknown value type: " + line)
        items = [b.strip() for b in data[colon + 1:].split(",") if b.strip()]
        return kind + ":" + ",".join("%02x" % int(b, 16) for b in items)
    raise RegFormatError("unknown value data: " + line)


def parse(text):
    """The keys of a .reg text: {key path: {value name: canonical data}}."""
    keys = {}
    current = None
    for line in logical_lines(text):
        stripped = line.strip()
        if not stripped or stripped.startswith(";"):
            continue
        if stripped.startswith("Windows Registry Editor") or stripped == "REGEDIT4":
            continue
        if stripped.startswith("["):
            if not stripped.endswith("]"):
                raise RegFormatError("bad key line: " + line)
            current = stripped[1:-1]
            keys.setdefault(current, {})
            continue
        if current is None:
            raise RegFormatError("value before any key: " + line)
        if stripped.startswith("@="):
            name, rest = None, stripped[2:]
        elif stripped.startswith('"'):
            name, end = parse_quoted(stripped, 0)
            if stripped[end:end + 1] != "=":
                raise RegFormatError("bad value line: " + line)
            rest = stripped[end + 1:]
        else:
            raise RegFormatError("bad line: " + line)
        keys[current][name] = canonical_data(rest, line)
    return keys


def name_order(name):
    return (name.upper(), name)


def canonical(text):
    """The canonical form of a .reg text, as lines."""
    keys = parse(text)
    out = []
    for path in sorted(keys, key=lambda p: [name_order(n) for n in p.split("\\")]):
        out.append("[" + path + "]")
        values = keys[path]
        # The default value (no name) first, then by name.
        for name in sorted(values, key=lambda n: (n is not None, name_order(n or ""))):
            out.append(("@" if name is None else quoted(name)) + "=" + values[name])
    return out


def canonical_file(path):
    with open(path, "rb") as f:
        return canonical(decode(f.read()))


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: regcanon.py FILE\n")
        return 2
    try:
        sys.stdout.write("\n".join(canonical_file(argv[1])) + "\n")
    except (OSError, RegFormatError, ValueError) as e:
        sys.stderr.write("regcanon.py: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
