#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the Qt .ts file for lrelease from the master translation table.

The table (UTF-8) holds one entry a line: the source text, one TAB, the text
shown. Inside a field, backslash escapes keep multi-line texts on one line:
\\n line feed, \\t tab, \\r carriage return, \\\\ backslash; any other
backslash sequence is an error. Blank lines and lines that begin with '#' are
skipped. Every entry goes into one context (GLOBAL_CONTEXT); the program's
translator falls back to it from whatever context a text is asked in.

Any fault (bad UTF-8, a missing TAB, an unknown escape, an empty field, a
source given twice) stops the run with file:line and leaves the output file
untouched.

Usage: make_ts.py TABLE OUTPUT.ts
"""
import os
import sys
import tempfile
from xml.sax.saxutils import escape

GLOBAL_CONTEXT = "Global"  # must match FallbackTranslator::kGlobalContext
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\"}


class TableError(Exception):
    pass


def unescape(field, where):
    out = []
    i = 0
    while i < len(field):
        c = field[i]
        if c == "\\":
            if i + 1 >= len(field) or field[i + 1] not in ESCAPES:
                raise TableError(f"{where}: unknown escape near {field[i:i + 2]!r}")
            out.append(ESCAPES[field[i + 1]])
            i += 2
            continue
        if ord(c) < 0x20 or ord(c) == 0x7F:
            raise TableError(f"{where}: raw control character U+{ord(c):04X}")
        out.append(c)
        i += 1
    return "".join(out)


def read_table(path):
    with open(path, "rb") as f:
        raw = f.read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        raise TableError(f"{path}: not UTF-8 at byte {e.start}")
    if text.startswith("\ufeff"):
        text = text[1:]
    entries = {}
    order = []
    for number, line in enumerate(text.split("\n"), start=1):
        where = f"{path}:{number}"
        if line.endswith("\r"):
            line = line[:-1]
        if not line.strip() or line.startswith("#"):
            continue
        parts = line.split("\t")
        if len(parts) != 2:
            raise TableError(f"{where}: expected source<TAB>text, found {len(parts)} field(s)")
        source, shown = unescape(parts[0], where), unescape(parts[1], where)
        if not source or not shown:
            raise TableError(f"{where}: empty field")
        if source in entries:
            raise TableError(f"{where}: source {source!r} given twice")
        entries[source] = shown
        order.append(source)
    return [(s, entries[s]) for s in order]


def xml_text(s):
    # A carriage return would be folded into a line feed by the XML reader.
    return escape(s, {'"': "&quot;", "\r": "&#13;"})


def write_ts(entries, out_path):
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>',
        "<!DOCTYPE TS>",
        '<TS version="2.1" language="en_US">',
        "<context>",
        f"    <name>{GLOBAL_CONTEXT}</name>",
    ]
    for source, shown in entries:
        lines.append("    <message>")
        lines.append(f"        <source>{xml_text(source)}</source>")
        lines.append(f"        <translation>{xml_text(shown)}</translation>")
        lines.append("    </message>")
    lines += ["</context>", "</TS>", ""]
    data = "\n".join(lines).encode("utf-8")
    out_dir = os.path.dirname(os.path.abspath(out_path))
    fd, tmp = tempfile.mkstemp(dir=out_dir, suffix=".ts.tmp")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.replace(tmp, out_path)
    except BaseException:
        os.unlink(tmp)
        raise


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        entries = read_table(argv[1])
    except (OSError, TableError) as e:
        print(f"make_ts: {e}", file=sys.stderr)
        return 1
    write_ts(entries, argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
