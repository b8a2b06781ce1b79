#!/usr/bin/env python3
"""readdump_corpus.py SOURCE_DIR OUT_DIR: the files bench_readdump compares two builds on.

Every golden input (vCard and CSV) and fuzz corpus file, each also with its lines
ended in LF, CR LF and CR alone and with a UTF-8 byte-order mark before it; 150
seeded pairs of vCard goldens joined into one file and all of them joined into one;
the generated files of gen_contacts.py and gen_folded21.py (10,000 cards each) when
their generators are found beside this script or in ../shared/bench.
Deterministic: the same sources give the same bytes."""
import os
import random
import subprocess
import sys

src, out = sys.argv[1], sys.argv[2]
data = os.path.join(src, "tests", "fileformats", "data")
os.makedirs(out, exist_ok=True)


def inputs():
    for sub, exts in (("vcard", (".vcf",)), ("csv", (".csv",)), ("fuzz/vcard", None), ("fuzz/csv", None)):
        folder = os.path.join(data, sub)
        for name in sorted(os.listdir(folder)):
            if exts is None or name.endswith(exts):
                yield sub, name, open(os.path.join(folder, name), "rb").read()


def lines_ended(body, end):
    text = body.replace(b"\r\n", b"\n").replace(b"\r", b"\n")
    return text.replace(b"\n", end)


def write(name, body):
    with open(os.path.join(out, name), "wb") as f:
        f.write(body)


vcards = []
for sub, name, body in inputs():
    stem, dot, ext = name.rpartition(".")
    ext = ext if ext in ("vcf", "csv") else ("csv" if "csv" in sub else "vcf")
    tag = sub.replace("/", "-") + "-" + (stem if dot else name)
    write(f"{tag}.{ext}", body)
    # Variants only of text: a UTF-16 file or a binary head has no lines to end otherwise.
    if b"\x00\x00" not in body[:64]:
        write(f"{tag}.lf.{ext}", lines_ended(body, b"\n"))
        write(f"{tag}.crlf.{ext}", lines_ended(body, b"\r\n"))
        write(f"{tag}.cr.{ext}", lines_ended(body, b"\r"))
    if not body.startswith((b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff")):
        write(f"{tag}.bom.{ext}", b"\xef\xbb\xbf" + body)
    if sub == "vcard":
        vcards.append((tag, body))

rng = random.Random(75)
for i in range(150):
    (a, x), (b, y) = rng.sample(vcards, 2)
    write(f"joined-{i:03d}.vcf", x + (b"" if x.endswith(b"\n") else b"\r\n") + y)
write("joined-all.vcf", b"".join(body if body.endswith(b"\n") else body + b"\r\n" for _, body in vcards))

here = os.path.dirname(os.path.abspath(__file__))
for folder in (here, os.path.join(src, "..", "shared", "bench")):
    gen = os.path.join(folder, "gen_contacts.py")
    if os.path.exists(gen):
        subprocess.run([sys.executable, gen, "10000", "--out", out], check=True, stdout=subprocess.DEVNULL)
        flat = os.path.join(out, "contacts-10000.flat")
        if os.path.exists(flat):
            os.remove(flat)
        break
for folder in (here, os.path.join(src, "..", "shared", "bench")):
    gen = os.path.join(folder, "gen_folded21.py")
    if os.path.exists(gen):
        subprocess.run([sys.executable, gen, "10000", out], check=True, stdout=subprocess.DEVNULL)
        break
