#!/usr/bin/env python3
"""kindwords_compare.py OUT NEW BASE OLD [N]: the kind words of phones and web addresses,
read both ways by three builds.

Writes N files (300 by default) of 20 cards each into OUT. Every card holds phones and web
addresses whose words are of one family, in every letter case and beside other words:
  standard  TEL markers and TYPE words of the standards (HOME, WORK, CELL, VOICE, PREF, FAX,
            MSG, VIDEO, BBS, MODEM, CAR, ISDN, PCS, TEXT...), URL TYPE words (pref, INTERNET,
            WORK, HOME, homepage, blog, profile, ftp, other, "Home Page", VOICE, intl) and a
            handset's "X-Pref", "X-Voice", "X-1"
  vendor    a maker's words: TEL markers "X-NOKIA-PTT", "X-EVOLUTION-UI-SLOT", "X-IRMC-N",
            "X-SYNCML-REF", "X-SONY-FAV", URL TYPE words "x-sync-source", "X-ABLABEL", "X-EVOLUTION-HOME"
  kinds     a handset's own words that name a kind: TEL;X-Home, X-Work, X-Other, X-Mobile,
            X-Cellular, X-Pager, X-Work-Mobile, X-Company-Main, X-Home-Fax (any case), beside
            CELL, WORK or nothing
  labels    a user's own labels: TEL;X-Intercom, X-Phone, X-WhatsApp, X-Gate Code, X-Дача,
            X-Büro... and URL;TYPE=Facebook, Twitter, LinkedIn, Instagram, Mastodon, "My Shop"...,
            beside PREF or alone; an item's X-ABLabel beside them wins
Each folder is read by the bench_readdump of each build (NEW: this one; BASE and OLD: the
builds before) and every phone and web address is compared value by value: kept (its number
or address stored), its kind and its label. A standard or vendor word must read as BASE reads
it (no label invented); a kind word gives its kind without a label; a label is kept as written.
Prints the counts per family and build; exits 1 where NEW breaks its rule."""
import os
import random
import subprocess
import sys

STANDARD_TEL = ["HOME", "WORK", "CELL", "VOICE", "PREF", "FAX", "MSG", "VIDEO", "BBS", "MODEM", "CAR",
                "ISDN", "PCS", "PAGER", "home", "work", "cell", "voice", "Pref", "TYPE=HOME", "TYPE=WORK,VOICE",
                "TYPE=CELL,PREF", "TYPE=text", "TYPE=textphone", "X-Pref", "X-Voice", "X-1", "x-pref"]
STANDARD_URL = ["pref", "INTERNET", "WORK", "HOME", "homepage", "blog", "profile", "ftp", "other",
                "Home Page", "VOICE", "intl", "WORK,pref", "HOME,INTERNET", "Blog", "FTP", "uri", "web"]
VENDOR_TEL = ["X-NOKIA-PTT", "X-EVOLUTION-UI-SLOT", "X-IRMC-N", "X-SYNCML-REF", "X-SONY-FAV", "x-nokia-ptt",
              "X-SAMSUNG-FAV", "TYPE=X-EVOLUTION-CALLBACK", "TYPE=X-EVOLUTION-TTYTDD"]
VENDOR_URL = ["x-sync-source", "X-ABLABEL", "X-EVOLUTION-HOME", "x-apple-profile", "X-NOKIA-WEB",
              "X-SYNC-SOURCE,pref"]
KIND_TEL = [("X-Home", 1), ("X-Work", 3), ("X-Other", 0), ("X-Mobile", 2), ("X-Cellular", 2), ("X-Pager", 6),
            ("X-Work-Mobile", 17), ("X-Company-Main", 10), ("X-Home-Fax", 5), ("x-home", 1), ("X-WORK", 3),
            ("X-MOBILE", 2), ("CELL;X-Work", 17), ("WORK;X-Pager", 18), ("X-Car", 9), ("X-Main", 12)]
LABEL_TEL = ["Intercom", "Phone", "WhatsApp", "Signal", "Gate Code", "Дача", "Büro", "自宅", "Lobby",
             "Doorbell", "Mum's", "Viber", "Skype Out", "Office 2", "Mobile 2"]
LABEL_URL = ["Facebook", "Twitter", "LinkedIn", "Instagram", "Mastodon", "GitHub", "My Shop", "Portfolio",
             "YouTube", "Xing", "TikTok", "Blogger"]
WRITER = {"standard": "VERSION:2.1", "vendor": "VERSION:2.1", "kinds": "VERSION:2.1", "labels": "VERSION:2.1"}


def case(rng, word):
    return rng.choice([word, word.upper(), word.lower()]) if word.isascii() else word


def tel_line(family, rng, number):
    """The TEL line and what it must read as: ('base', None) or (code, label)."""
    if family == "standard":
        word = rng.choice(STANDARD_TEL)
        return f"TEL;{word}:{number}", ("base", None)
    if family == "vendor":
        word = rng.choice(VENDOR_TEL)
        extra = rng.choice(["", "CELL;", "HOME;"])
        return f"TEL;{extra}{word}:{number}", ("base", None)
    if family == "kinds":
        word, code = rng.choice(KIND_TEL)
        if ";" not in word:
            word = case(rng, word[:2]) + case(rng, word[2:])
        return f"TEL;{word}:{number}", (code, "")
    label = rng.choice(LABEL_TEL)
    if rng.random() < 0.2:
        # An item's label beside it wins.
        return f"item9.TEL;X-{label}:{number}\r\nitem9.X-ABLabel:Club", (0, "Club")
    charset = "CHARSET=UTF-8;" if not label.isascii() and rng.random() < 0.5 else ""
    return f"TEL;{charset}X-{label}:{number}", (0, label)


def url_line(family, rng, address):
    if family == "standard":
        return f"URL;TYPE={rng.choice(STANDARD_URL)}:{address}", ("base", None)
    if family == "vendor":
        return f"URL;TYPE={rng.choice(VENDOR_URL)}:{address}", ("base", None)
    if family == "kinds":
        word, code = rng.choice([("HOME", 4), ("WORK", 5), ("homepage", 1), ("blog", 2), ("profile", 3)])
        return f"URL;type={case(rng, word)}:{address}", (code, "")
    label = rng.choice(LABEL_URL)
    extra = rng.choice(["", ";type=pref", ";TYPE=PREF"])
    return f"URL;type={label}{extra}:{address}", (0, label)


def write_files(out, count):
    rng = random.Random(8901)
    expected = {}
    for family in WRITER:
        folder = os.path.join(out, family)
        os.makedirs(folder, exist_ok=True)
        for f in range(count):
            lines = []
            for c in range(20):
                key = f"{family[0]}{f:03d}{c:02d}"
                lines += ["BEGIN:VCARD", WRITER[family], f"N:Person{key};Ann;;;", f"FN:Ann Person{key}"]
                for v in range(rng.randint(1, 3)):
                    number = f"+1 555 {key}{v}"
                    line, want = tel_line(family, rng, number)
                    lines.append(line)
                    expected.setdefault((family, f), {})[number] = want
                for v in range(rng.randint(0, 2)):
                    address = f"https://ex.example/{key}/{v}"
                    line, want = url_line(family, rng, address)
                    lines.append(line)
                    expected.setdefault((family, f), {})[address] = want
                lines.append("END:VCARD")
            with open(os.path.join(folder, f"{family}-{f:03d}.vcf"), "w", encoding="utf-8", newline="") as fh:
                fh.write("\r\n".join(lines) + "\r\n")
    return expected


def dump(build, folder, target):
    subprocess.run([build, target, folder], check=True, stdout=subprocess.DEVNULL)


def rows(target, family, f):
    """value -> (code, label) of every phone and web address the dump stores."""
    name = [n for n in os.listdir(target) if n.endswith(f"{family}-{f:03d}.vcf.txt")][0]
    got = {}
    with open(os.path.join(target, name), encoding="utf-8") as fh:
        for line in fh:
            cells = [c.strip() for c in line.rstrip("\n").split(" | ")]
            if cells[0].startswith("data") and cells[1] in ("3", "13"):
                got[cells[4]] = (int(cells[5] or 0), cells[6])
    return got


def main():
    out, new, base, old = sys.argv[1:5]
    count = int(sys.argv[5]) if len(sys.argv) > 5 else 300
    expected = write_files(out, count)
    builds = {"new": new, "276d202": base, "8c200b2": old}
    for tag, build in builds.items():
        for family in WRITER:
            dump(build, os.path.join(out, family), os.path.join(out, f"dump-{tag}", family))
    failed = 0
    print("family    build     values  kept  kind+label as meant  labels invented  as 276d202")
    for family in WRITER:
        for tag in builds:
            kept = meant = invented = same = total = 0
            for f in range(count):
                got = rows(os.path.join(out, f"dump-{tag}", family), family, f)
                base_got = rows(os.path.join(out, "dump-276d202", family), family, f)
                for value, want in expected[(family, f)].items():
                    total += 1
                    if value not in got:
                        continue
                    kept += 1
                    code, label = got[value]
                    same += got[value] == base_got.get(value)
                    if want[0] == "base":
                        meant += got[value] == base_got.get(value)
                        invented += bool(label) and not base_got.get(value, (0, ""))[1]
                    else:
                        meant += (code, label) == want
                        invented += bool(label) and not want[1]
            print(f"{family:9} {tag:9} {total:6} {kept:5} {meant:20} {invented:16} {same:11}")
            if tag == "new" and (kept != total or meant != total or invented):
                failed = 1
    sys.exit(failed)


if __name__ == "__main__":
    main()
