#!/usr/bin/env python3
"""softbreak_compare.py OUT NEW BEFORE EARLIER [N] [--also NAME=BUILD ...]: a quoted-printable
"=" before a line that reads as a property, read both ways by three builds (and any more named).

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
  first/    the text of encoder/ written by encoders that count only the value's columns:
            the first line is the name and parameters and 72 to 76 columns more; half the
            values put a word that reads as a property's name ("PIN:4821") where that
            first line ends, many of them two lines long.
  firstend/ values ended by a writer's "=" before a property's line whose first line is as
            wide after the name as an encoder's (70 to 77 columns from the value's start):
            "token YWJj==", "Flat 2 ==", names whose every byte is escaped; and values
            ending in one "=" whose first line is of no encoder's width either way.
  firstwidth/ values ending in one "=" on a first line of 70 to 77 columns from the
            value's start, before a property's line: an encoder's soft break, read as one.
Each folder is read by the bench_readdump of each build (NEW: this one; BEFORE: the build
whose values ended/ and firstend/ must keep; EARLIER: the build whose values encoder/,
width/, first/ and firstwidth/ must keep) and compared value by value: every contact and
data row, ids aside. Prints the files and rows that differ, also against each build named
with --also. Deterministic: the same N gives the same files."""
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


def encode(prefix, data, width, mail, value_only=False):
    """A standard encoder: lines of at most `width` columns, the soft break's "=" counted,
    an escape never cut; a mail program also ends each encoded line break's line. With
    value_only, the first line's columns are counted from the value's start."""
    lines, line = [], prefix
    for token in escapes(data):
        counted = len(line) - (len(prefix) if value_only and not lines else 0)
        if counted + len(token) + 1 > width:
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


def encoder_file(rng, k, value_only=False):
    """With value_only, the first line's columns are counted from the value's start, and half
    the values put a word that reads as a property's name where that first line ends."""
    width = rng.randint(72, 76)
    out = []
    for i in range(25):
        utf8 = rng.random() < 0.5
        if value_only:
            mail = False
            text = text_cut_at(rng, utf8, width) if rng.random() < 0.5 else text_of(rng, utf8)
        else:
            mail = rng.random() < 0.3
            text = "\r\n".join(text_of(rng, utf8) for _ in range(rng.randint(1, 3) if mail else 1))
        name = rng.choice(("NOTE", "NOTE", "TITLE", "ORG"))
        head = name + (";CHARSET=UTF-8" if utf8 else "") + ";ENCODING=QUOTED-PRINTABLE:"
        data = text.encode("utf-8") if utf8 else text.encode("cp1252", "replace")
        out += card(k * 25 + i, encode(head, data, width, mail, value_only), [f"EMAIL;INTERNET:a{i}@example.org"])
    return out


def text_cut_at(rng, utf8, width):
    """Words up to a few columns short of a line's end, then a word that reads as a property's
    name, and a short tail."""
    words, columns = [], 0
    goal = width - rng.randint(1, 10)
    while True:
        word = rng.choice(WORDS) + (rng.choice(LETTERS) if rng.random() < 0.2 else "")
        more = len("".join(escapes((" " + word if words else word).encode("utf-8" if utf8 else "cp1252", "replace"))))
        if columns + more > goal:
            break
        words.append(word)
        columns += more
    return " ".join(words + [rng.choice(NAMED)] + [rng.choice(WORDS) for _ in range(rng.randint(0, 6))])


def firstend_file(rng, k):
    out = []
    for i in range(25):
        n = k * 25 + i
        shape = rng.randrange(5)
        cols = rng.randint(70, 77)
        if shape == 0:
            head = "NOTE;ENCODING=QUOTED-PRINTABLE:"
            lead = rng.choice(("token ", "key ", ""))
            token = "".join(rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
                            for _ in range(cols - 2 - len(lead)))
            line = head + lead + token + "=="
        elif shape == 1:
            head = "LABEL;HOME;ENCODING=QUOTED-PRINTABLE:"
            equals = rng.randint(2, 3)
            flat = f" Flat {rng.randint(1, 99)} "
            words = ""
            while len(words) + len(flat) + equals < cols:
                words += rng.choice(WORDS) + " "
            words = words[:cols - len(flat) - equals].rstrip() or "Park"
            line = head + words + flat + "=" * equals
        elif shape == 2:
            hexes = "%02x" if rng.random() < 0.5 else "%02X"
            while True:
                name = " ".join(rng.choice(("Marko", "Kovač", "Iva", "Željko", "Ana", "Šimić", "Horvat", "Petra"))
                                for _ in range(rng.randint(2, 5)))
                escaped = "".join("=" + hexes % b for b in name.encode())
                if 70 <= len(escaped) + 1 <= 77:
                    break
            line = "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + escaped + "="
        else:
            # One "=" on a first line of no encoder's width, counted from the line's start or
            # from the value's.
            def fits(line):
                value = value_width(line)
                return not 70 <= len(line) <= 77 and not 70 <= value <= 77 and (value < 70) == (shape == 3)
            line = short_value(rng, 1, fits, 30 if shape == 4 else 8)
        out += card(n, [line, rng.choice(NEXT_LINES).format(n)])
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
            line = short_value(rng, shape - 2, lambda line: len(line) < 70 or shape == 4)
        out += card(n, [line, rng.choice(NEXT_LINES).format(n)])
    return out


def short_value(rng, equals, fits, most=8):
    while True:
        words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, most)))
        line = rng.choice(("NOTE", "TITLE", "N")) + ";ENCODING=QUOTED-PRINTABLE:" + words + "=" * equals
        if fits(line):
            return line


def value_width(line):
    return len(line) - line.index(":") - 1


def width_file(rng, k, first=False):
    """With first, the line's width counted from the value's start."""
    out = []
    for i in range(25):
        n = k * 25 + i
        width = value_width if first else len
        out += card(n, [short_value(rng, 1, lambda line: 70 <= width(line) <= 77, 30 if first else 8),
                        rng.choice(NEXT_LINES).format(n)])
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


KINDS = (("encoder", encoder_file, "earlier"), ("ended", ended_file, "before"), ("width", width_file, "earlier"),
         ("first", lambda rng, k: encoder_file(rng, k, True), "earlier"), ("firstend", firstend_file, "before"),
         ("firstwidth", lambda rng, k: width_file(rng, k, True), "earlier"))


def main():
    args = sys.argv[1:]
    also = []
    while "--also" in args:
        at = args.index("--also")
        also.append(args[at + 1].split("=", 1))
        del args[at:at + 2]
    out, new, before, earlier = args[:4]
    count = int(args[4]) if len(args) > 4 else 2000
    rng = random.Random(85)
    for kind, make, _ in KINDS:
        folder = os.path.join(out, kind)
        os.makedirs(folder, exist_ok=True)
        for k in range(count):
            end = "\n" if rng.random() < 0.2 else "\r\n"
            with open(os.path.join(folder, f"{kind}-{k:04d}.vcf"), "w", encoding="utf-8", newline="") as f:
                f.write(end.join(make(rng, k)) + end)
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for kind, _, must in KINDS:
            folder = os.path.join(out, kind)
            builds = [("new", new), ("before", before), ("earlier", earlier)] + [tuple(pair) for pair in also]
            dumps = {which: dump(path, folder, os.path.join(tmp, kind + "-" + which)) for which, path in builds}
            print(f"{kind}/ ({count} files):")
            compare("before against earlier", dumps["before"], dumps["earlier"])
            for which, _ in builds[3:]:
                compare(f"{which} against {must}", dumps[which], dumps[must])
                compare(f"new against {which}", dumps["new"], dumps[which])
            compare("new against " + ("before" if must == "earlier" else "earlier"), dumps["new"],
                    dumps["before" if must == "earlier" else "earlier"])
            failed += compare(f"new against {must} (must be 0)", dumps["new"], dumps[must])
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
