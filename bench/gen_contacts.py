#!/usr/bin/env python3
"""Writes deterministic contact files for the benchmarks (Python 3 standard library only).

usage: gen_contacts.py N [N ...] [--out DIR] [--seed S]

For each N, into DIR (default: bench-data):
  contacts-N.vcf   N cards, about 60% vCard 3.0 and 40% 2.1 (quoted-printable UTF-8), CRLF
  contacts-N.csv   the same cards as a web-mail style CSV export
  contacts-N.flat  the same cards as entity rows, the format bench/flatcontacts.h reads
About a fifth of the cards repeat an earlier contact (same name and first phone) with small
changes; about one in twenty carries a PNG photo; about a quarter of the names are not ASCII.
The same N and seed always give the same bytes.
"""
import argparse, base64, csv, os, random, struct, zlib

FIRST = ("Anna Ben Clara David Emma Felix Grace Henry Iris Jack Kate Liam Mia Noah Olivia Paul Quinn "
         "Rose Sam Tara Uma Victor Wendy Xavier Yara Zoe Adam Beth Carl Diana Eric Fiona George Helen").split()
LAST = ("Smith Jones Brown Taylor Wilson Davies Evans Thomas Johnson Roberts Walker Wright Robinson "
        "Thompson White Hughes Edwards Green Hall Wood Harris Lewis Martin Jackson Clarke Clark").split()
# Names with accents and in other scripts, a quarter of all.
F_FIRST = "José Zoë François Jürgen Søren Łukasz Ágnes Björn Šárka Inès Ólafur Çağla 伟 芳 秀英 さくら Дмитрий Ελένη".split()
F_LAST = "García Müller Lefèvre Groß Kierkegård Wójcik Szabó Åström Dvořáková Þórsson Yılmaz 王 李 张 佐藤 Иванов Παπαδοπούλου".split()
STREETS = ["Main Street", "High Street", "Rue de la Paix", "Königstraße", "Calle Mayor", "Station Road"]
CITIES = [("London", "", "SW1A 1AA", "United Kingdom"), ("Paris", "", "75002", "France"),
          ("München", "Bayern", "80331", "Germany"), ("Austin", "TX", "73301", "USA"),
          ("Kraków", "", "31-042", "Poland"), ("北京", "", "100000", "中国")]
COMPANIES = ["Acme Ltd", "Globex", "Initech", "Umbrella & Co", "Société Générale de Test", "北京科技有限公司"]
TITLES = ["Engineer", "Manager", "Director", "Designer", "Accountant", "Nurse", "Teacher"]
NOTES = ["Met at the conference", "Call after 6pm;\nprefers e-mail", "Kollege aus München, spricht Deutsch",
         "Birthday gift: books, not flowers", "老同学", "Neighbour, has a spare key"]
PHONE_CODE = {"HOME": 1, "CELL": 2, "WORK": 3, "FAX": 4, "PAGER": 6, "OTHER": 7}
ADDR_CODE = {"HOME": 1, "WORK": 2, "OTHER": 3}
EMAIL_CODE = {"HOME": 1, "WORK": 2, "OTHER": 3}


def png(rng, size=48):
    """A real PNG image: a random two-colour gradient, so every photo decodes and differs."""
    a, b = [rng.randrange(256) for _ in range(3)], [rng.randrange(256) for _ in range(3)]
    rows = b"".join(b"\0" + bytes(int(a[c] + (b[c] - a[c]) * (x + y) / (2 * size)) for x in range(size)
                                  for c in range(3)) for y in range(size))
    chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xffffffff)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def person(rng, used):
    """A name not used before: a first and a last name, a second last name or a middle initial when needed."""
    firsts, lasts = (F_FIRST, F_LAST) if rng.random() < 0.25 else (FIRST, LAST)
    for attempt in range(1000):
        first, last = rng.choice(firsts), rng.choice(lasts)
        if attempt > 2 or rng.random() < 0.2:
            last += "-" + rng.choice(lasts)
        middle = rng.choice("ABCDEFGHJKLMNPRSTW") + "." if attempt > 20 or rng.random() < 0.05 else ""
        if (first, middle, last) not in used:
            break
    used.add((first, middle, last))
    return first, middle, last


def contact(rng, used):
    first, middle, last = person(rng, used)
    c = dict(first=first, last=last, middle=middle,
             prefix=rng.choice(["Dr.", "Mr.", "Ms."]) if rng.random() < 0.1 else "",
             suffix="Jr." if rng.random() < 0.03 else "", nick=rng.choice(FIRST) if rng.random() < 0.1 else "",
             v21=rng.random() < 0.4, photo=png(rng) if rng.random() < 0.05 else None)
    c["phones"] = [("+%d %03d %04d %04d" % (rng.choice([1, 33, 44, 49, 86]), rng.randrange(1000),
                                            rng.randrange(10000), rng.randrange(10000)), t)
                   for t in rng.sample(["CELL", "HOME", "WORK", "FAX", "PAGER", "OTHER"], rng.choice([1, 1, 2, 3]))]
    user = "%s.%d" % ("".join(ch for ch in c["first"].lower() if ch.isascii() and ch.isalpha()) or "user",
                      rng.randrange(1000))
    c["emails"] = [("%s@%s" % (user, d), t) for d, t in
                   rng.sample([("example.com", "HOME"), ("mail.example.org", "WORK"), ("post.example.net", "OTHER")],
                              rng.choice([0, 1, 1, 2]))]
    c["org"], c["title"] = (rng.choice(COMPANIES), rng.choice(TITLES)) if rng.random() < 0.5 else ("", "")
    c["addrs"] = [("%d %s" % (rng.randrange(1, 300), rng.choice(STREETS)),) + rng.choice(CITIES) + (t,)
                  for t in rng.sample(["HOME", "WORK"], rng.choice([0, 0, 1, 2]))]
    c["bday"] = "%04d-%02d-%02d" % (rng.randrange(1940, 2010), rng.randrange(1, 13), rng.randrange(1, 29)) \
        if rng.random() < 0.3 else ""
    c["note"] = rng.choice(NOTES) if rng.random() < 0.2 else ""
    c["url"] = "https://www.example.com/~%s" % user if rng.random() < 0.1 else ""
    return c


def duplicate(rng, c):
    """The same person as an earlier card (name and first phone kept), changed a little."""
    d = dict(c, phones=list(c["phones"]), emails=list(c["emails"]), v21=not c["v21"])
    change = rng.randrange(3)
    if change == 0 and len(d["phones"]) > 1:
        d["phones"][1] = (d["phones"][1][0], "OTHER")
    elif change == 1:
        d["emails"].append(("%s.%d@example.com" % (d["last"].lower()[:3], rng.randrange(100)), "OTHER"))
    else:
        d["note"] = "Updated " + rng.choice(NOTES)
    return d


def full_name(c):
    return " ".join(x for x in (c["prefix"], c["first"], c["middle"], c["last"], c["suffix"]) if x)


def quoted_printable(value):
    """UTF-8 bytes as =XX where needed, CRLF line breaks encoded, soft breaks before 76 characters."""
    out, line = [], ""
    for b in value.replace("\n", "\r\n").encode("utf-8"):
        ch = chr(b) if 32 <= b < 127 and b != 61 else "=%02X" % b
        if len(line) + len(ch) > 73:
            out.append(line + "=")
            line = ""
        line += ch
    if line.endswith(" "):
        line = line[:-1] + "=20"
    return "\r\n".join(out + [line])


def vcard(c):
    if c["v21"]:  # 2.1: ";" escaped; non-ASCII values and line breaks in quoted-printable UTF-8
        def prop(name, *parts):
            value = ";".join(p.replace(";", "\\;") for p in parts)
            if value.isascii() and "\n" not in value:
                return "%s:%s\r\n" % (name, value)
            return "%s;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:%s\r\n" % (name, quoted_printable(value))
        photo = "PHOTO;ENCODING=BASE64;TYPE=PNG:"
    else:  # 3.0: escaped text, lines folded at 75 octets
        def prop(name, *parts):
            esc = lambda v: v.replace("\\", "\\\\").replace(",", "\\,").replace(";", "\\;").replace("\n", "\\n")
            line, out, limit = "%s:%s" % (name, ";".join(esc(p) for p in parts)), [], 75
            while len(line.encode("utf-8")) > limit:
                cut = limit
                while len(line[:cut].encode("utf-8")) > limit:
                    cut -= 1
                out.append(line[:cut])
                line, limit = line[cut:], 74  # the continuation's leading blank counts
            return "\r\n ".join(out + [line]) + "\r\n"
        photo = "PHOTO;ENCODING=b;TYPE=PNG:"
    lines = ["BEGIN:VCARD\r\n", "VERSION:%s\r\n" % ("2.1" if c["v21"] else "3.0"),
             prop("N", c["last"], c["first"], c["middle"], c["prefix"], c["suffix"]), prop("FN", full_name(c))]
    lines += [prop("NICKNAME", c["nick"])] if c["nick"] else []
    lines += [prop("TEL;" + ("TYPE=%s" % t if not c["v21"] else t), n) for n, t in c["phones"]]
    lines += [prop("EMAIL;" + ("TYPE=INTERNET,%s" % t if not c["v21"] else "INTERNET;" + t), a) for a, t in c["emails"]]
    lines += [prop("ORG", c["org"]), prop("TITLE", c["title"])] if c["org"] else []
    lines += [prop("ADR;" + ("TYPE=%s" % a[5] if not c["v21"] else a[5]), "", "", *a[:5]) for a in c["addrs"]]
    lines += [prop("BDAY", c["bday"])] if c["bday"] else []
    lines += [prop("NOTE", c["note"])] if c["note"] else []
    lines += [prop("URL", c["url"])] if c["url"] else []
    if c["photo"]:
        data = base64.b64encode(c["photo"]).decode("ascii")
        lines.append(photo + "\r\n ".join(data[i:i + 72] for i in range(0, len(data), 72)) + "\r\n"
                     + ("\r\n" if c["v21"] else ""))
    return "".join(lines) + "END:VCARD\r\n"


CSV_COLUMNS = ["First Name", "Middle Name", "Last Name", "Name Prefix", "Name Suffix", "Nickname", "Mobile Phone",
               "Home Phone", "Business Phone", "Business Fax", "Pager", "Other Phone", "E-mail Address",
               "E-mail 2 Address", "Company", "Job Title", "Home Street", "Home City", "Home State",
               "Home Postal Code", "Home Country", "Business Street", "Business City", "Business State",
               "Business Postal Code", "Business Country", "Birthday", "Web Page", "Notes"]
CSV_PHONE = {"CELL": "Mobile Phone", "HOME": "Home Phone", "WORK": "Business Phone", "FAX": "Business Fax",
             "PAGER": "Pager", "OTHER": "Other Phone"}


def csv_row(c):
    r = {"First Name": c["first"], "Middle Name": c["middle"], "Last Name": c["last"], "Name Prefix": c["prefix"],
         "Name Suffix": c["suffix"], "Nickname": c["nick"], "Company": c["org"], "Job Title": c["title"],
         "Birthday": c["bday"], "Web Page": c["url"], "Notes": c["note"]}
    for n, t in c["phones"]:
        r.setdefault(CSV_PHONE[t], n)
    for column, (a, _t) in zip(["E-mail Address", "E-mail 2 Address"], c["emails"]):
        r[column] = a
    for street, city, region, code, country, t in c["addrs"]:
        pre = "Home " if t == "HOME" else "Business "
        r.update({pre + "Street": street, pre + "City": city, pre + "State": region, pre + "Postal Code": code,
                  pre + "Country": country})
    return [r.get(k, "") for k in CSV_COLUMNS]


def flat_row(c):
    f = lambda v: v.replace("\t", " ").replace("\x1f", " ").replace("\n", "\\n")
    ent = lambda kind, *fields: "\x1f".join([str(kind)] + [f(str(x)) for x in fields])
    rows = [ent(1, full_name(c), c["first"], c["last"], c["middle"], c["prefix"], c["suffix"])]
    if c["photo"]:
        rows.append(ent(2, *[""] * 14, base64.b64encode(c["photo"]).decode("ascii")))
    rows += [ent(3, n, PHONE_CODE[t]) for n, t in c["phones"]]
    rows += [ent(4, a, EMAIL_CODE[t]) for a, t in c["emails"]]
    rows += [ent(5, c["nick"], 1)] if c["nick"] else []
    rows += [ent(6, c["bday"] + "T00:00:00", 3)] if c["bday"] else []
    rows += [ent(9, c["note"])] if c["note"] else []
    rows += [ent(10, c["org"], 1, "", c["title"])] if c["org"] else []
    rows += [ent(12, ", ".join(x for x in a[:5] if x), ADDR_CODE[a[5]], "", a[0], "", "", a[1], a[2], a[3], a[4])
             for a in c["addrs"]]
    rows += [ent(13, c["url"], 7)] if c["url"] else []
    return "\t".join([f(full_name(c))] + rows) + "\n"


def generate(n, out, seed):
    rng, used = random.Random("%d:%d" % (seed, n)), set()
    originals = [contact(rng, used) for _ in range(n - n // 5)]
    cards = originals + [duplicate(rng, rng.choice(originals)) for _ in range(n // 5)]
    rng.shuffle(cards)
    with open(os.path.join(out, "contacts-%d.vcf" % n), "w", encoding="utf-8", newline="") as fh:
        fh.writelines(vcard(c) for c in cards)
    with open(os.path.join(out, "contacts-%d.csv" % n), "w", encoding="utf-8", newline="") as fh:
        writer = csv.writer(fh, lineterminator="\r\n")
        writer.writerow(CSV_COLUMNS)
        writer.writerows(csv_row(c) for c in cards)
    with open(os.path.join(out, "contacts-%d.flat" % n), "w", encoding="utf-8", newline="") as fh:
        fh.writelines(flat_row(c) for c in cards)
    return "contacts-%d: %d cards, %d duplicates, %d in 2.1, %d photos, %d non-ASCII names" % (
        n, n, n // 5, sum(c["v21"] for c in cards), sum(bool(c["photo"]) for c in cards),
        sum(not full_name(c).isascii() for c in cards))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("n", type=int, nargs="+")
    ap.add_argument("--out", default="bench-data")
    ap.add_argument("--seed", type=int, default=20240601)
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for n in args.n:
        print(generate(n, args.out, args.seed))


if __name__ == "__main__":
    main()
