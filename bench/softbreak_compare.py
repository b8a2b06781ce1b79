#!/usr/bin/env python3
"""softbreak_compare.py OUT NEW BEFORE EARLIER [N]: a quoted-printable "=" before a line
that reads as a property, read both ways by three builds.

Writes N files (2,000 by default) of 25 cards each in two kinds into OUT:
  encoder/  notes, titles and companies as standard encoders write them: every "=" of
            the text escaped, lines broken at 72 to 76 columns wherever the column falls,
            inside a word too, line breaks of the text as =0D=0A, a mail program's too
            (each of them ended by a soft break); the text is full of words that read as
            a property's name once a line starts with them ("PIN:4821", "HOTEL:Grand").
  ended/    values of writers that leave a text "=" unescaped at their end, before a
            property's line: "token YWJj==", "Flat 2 ==", a name whose every byte is
            escaped and ends in "=", values ending in "==", and in "=" on a line
            narrower than an encoder's.
  width/    values ending in one "=" on a line of an encoder's width (70 to 77 columns),
            before a property's line: byte for byte an encoder's soft break before a
            line of text, read as one.
Each folder is read by the bench_readdump of each build (NEW: this one; BEFORE: the build
whose values ended/ must keep; EARLIER: the build whose values encoder/ and width/ must
keep) and compared value by value: every contact and data row, ids aside. Prints the
files and rows that differ. Deterministic: the same N gives the same files."""
import os
import random
import subprocess
import sys
import tempfile

WORDS = ("the key is under the pot by the back door call before 8 pm keys with Mr. Hart at "
         "number 12 meeting moved to Tuesday bring the forms parking behind the shop ask for "
         "the manager invoice paid in March gate code changed").split()
# Words that read as a property's line where a line starts at them or inside them.
NAMED = ["PIN:4821", "USERNAME:nell.orr", "HOTEL:Grand", "TEL:+44 20 5555 0199", "N:42",
         "ORG:Acme", "NOTE:see", "URL:https://example.org/a", "EMAIL:info@example.org",
         "TITLE:Dr.", "ROOM:12", "X-REF:771", "ADR;HOME:x", "CATEGORIES:Work", "FN:Anna",
         "TZ:+01", "UID:55-7", "REV:3", "KEY:blue", "GEO:50.1", "LABEL:Flat", "SOURCE:web",
         "BDAY:1980", "NICKNAME:Jo", "ROLE:chair", "MAILER:x"]
LETTERS = ["é", "ü", "ß", "ñ", "Ж", "ø", "ç"]
NEXT_LINES = ["TEL;CELL:07700 900{:03d}", "TEL;WORK:555 0{:03d}", "EMAIL;INTERNET:p{}@example.org",
              "ADR;HOME:;;{} Park Row;Leeds;;LS1 5HD;United Kingdom", "item1.EMAIL;type=INTERNET:j{}@d.org",
              "X-SKYPE:user{}", "ORG:Firm {}", "TITLE:Clerk {}", "URL:https://example.org/{}"]


def text_of(rng, utf8):
    words = []
    for _ in range(rng.randint(12, 60)):
        r = rng.random()
        if r < 0.12:
            words.append(rng.choice(NAMED))
        elif r < 0.16:
            words.append(rng.choice(("a=b", "E=mc2", "x==y", "=")))
        elif r < 0.20:
            words.append(rng.choice(WORDS) + rng.choice(LETTERS))
        else:
            words.append(rng.choice(WORDS))
    return " ".join(words)


def escapes(data):
    return ["=%02X" % b if b == 0x3D or b >= 0x80 or b < 0x20 else chr(b) for b in data]


def encode(prefix, data, width, mail):
    """A standard encoder: lines of at most `width` columns, the soft break's "=" counted,
    an escape never cut; a mail program also ends each encoded line break's line."""
    lines, line = [], prefix
    for token in escapes(data):
        if len(line) + len(token) + 1 > width:
            lines.append(line + "=")
            line = ""
        line += token
        if mail and token == "=0A":
            lines.append(line + "=")
            line = ""
    lines.append(line)
    return lines


def card(i, value_lines, after=()):
    return (["BEGIN:VCARD", "VERSION:2.1", f"N:Card{i};Anna;;;", f"FN:Anna Card{i}", f"TEL;HOME:0113 496 {i:04d}"]
            + value_lines + list(after) + ["END:VCARD"])


def encoder_file(rng, k):
    width = rng.randint(72, 76)
    out = []
    for i in range(25):
        utf8 = rng.random() < 0.5
        mail = rng.random() < 0.3
        text = "\r\n".join(text_of(rng, utf8) for _ in range(rng.randint(1, 3) if mail else 1))
        name = rng.choice(("NOTE", "NOTE", "TITLE", "ORG"))
        head = name + (";CHARSET=UTF-8" if utf8 else "") + ";ENCODING=QUOTED-PRINTABLE:"
        data = text.encode("utf-8") if utf8 else text.encode("cp1252", "replace")
        out += card(k * 25 + i, encode(head, data, width, mail), [f"EMAIL;INTERNET:a{i}@example.org"])
    return out


def ended_file(rng, k):
    out = []
    for i in range(25):
        n = k * 25 + i
        shape = rng.randrange(5)
        if shape == 0:
            token = "".join(rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
                            for _ in range(rng.randint(2, 20) * 3 + 1))
            line = "NOTE;ENCODING=QUOTED-PRINTABLE:" + rng.choice(("token ", "key ", "")) + token + "=="
        elif shape == 1:
            line = ("LABEL;HOME;ENCODING=QUOTED-PRINTABLE:" + " ".join(rng.choice(WORDS) for _ in range(rng.randint(0, 8)))
                    + f" Flat {rng.randint(1, 99)} " + "=" * rng.randint(2, 3))
        elif shape == 2:
            name = " ".join(rng.choice(("Marko", "Kovač", "Iva", "Željko", "Ana", "Šimić", "Horvat", "Petra"))
                            for _ in range(rng.randint(1, 4)))
            hexes = "%02x" if rng.random() < 0.5 else "%02X"
            line = "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + "".join("=" + hexes % b for b in name.encode()) + "="
        else:
            line = short_value(rng, shape - 2, lambda width: width < 70 or shape == 4)
        out += card(n, [line, rng.choice(NEXT_LINES).format(n)])
    return out


def short_value(rng, equals, fits):
    while True:
        words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 8)))
        line = rng.choice(("NOTE", "TITLE", "N")) + ";ENCODING=QUOTED-PRINTABLE:" + words + "=" * equals
        if fits(len(line)):
            return line


def width_file(rng, k):
    out = []
    for i in range(25):
        n = k * 25 + i
        out += card(n, [short_value(rng, 1, lambda width: 70 <= width <= 77), rng.choice(NEXT_LINES).format(n)])
    return out


def rows(path):
    got = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith(("contact ", "data ")):
                kind, _, rest = line.partition(" | ")
                got.append(kind.split(" ")[0] + " | " + rest.rstrip("\n"))
    return sorted(got)


def dump(readdump, folder, where):
    subprocess.run([readdump, where, folder], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    return {name: rows(os.path.join(where, name)) for name in os.listdir(where) if name != "index.txt"}


def compare(label, a, b):
    files = values = 0
    for name, rows_a in a.items():
        rows_b = b.get(name, [])
        if rows_a != rows_b:
            files += 1
            values += len(set(rows_a) ^ set(rows_b))
    print(f"  {label}: {files} of {len(a)} files, {values} rows differ")
    return files


def main():
    out, new, before, earlier = sys.argv[1:5]
    count = int(sys.argv[5]) if len(sys.argv) > 5 else 2000
    rng = random.Random(85)
    for kind, make in (("encoder", encoder_file), ("ended", ended_file), ("width", width_file)):
        folder = os.path.join(out, kind)
        os.makedirs(folder, exist_ok=True)
        for k in range(count):
            end = "\n" if rng.random() < 0.2 else "\r\n"
            with open(os.path.join(folder, f"{kind}-{k:04d}.vcf"), "w", encoding="utf-8", newline="") as f:
                f.write(end.join(make(rng, k)) + end)
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for kind, must in (("encoder", "earlier"), ("ended", "before"), ("width", "earlier")):
            folder = os.path.join(out, kind)
            dumps = {which: dump(path, folder, os.path.join(tmp, kind + "-" + which))
                     for which, path in (("new", new), ("before", before), ("earlier", earlier))}
            print(f"{kind}/ ({count} files):")
            compare("before against earlier", dumps["before"], dumps["earlier"])
            compare("new against " + ("before" if must == "earlier" else "earlier"), dumps["new"],
                    dumps["before" if must == "earlier" else "earlier"])
            failed += compare(f"new against {must} (must be 0)", dumps["new"], dumps[must])
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
