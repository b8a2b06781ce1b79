#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Pairs of cards of one person whose values the merge joins, to compare
builds on what they store.

  merge_pairs.py gen DIR
      writes DIR/addr/*.vcf: every pair of two addresses made of the
      address parts below, in either order, that the merge reads as one text
      (with or without a postal code that stands without a city or region),
      each once ("-once") and imported twice in one file ("-again"); and
      DIR/kind/*.vcf: an e-mail, a phone, an address and a web site given two
      kinds in every pair of a TYPE and an item label, in either order; and
      DIR/blanks/*.vcf: pairs of one address whose street or city one card
      writes with a run of blanks or a tab ("1 Main  St"), with a postal
      code in one card, the other, both or neither, in either order, each
      once ("-once") and four times in one file ("-four").
  merge_pairs.py compare DIR DUMP...
      reads the folders bench_readdump wrote of DIR with each build and
      prints, per build: pairs of which a part is stored in no address,
      address rows whose parts come from two cards, address rows whose text
      leaves a part out, "-again" files whose rows differ from "-once", rows
      of a kind beside a label that names another kind; and how many files
      read differently from the first DUMP; of the blanks pairs, files whose
      address rows grow when the file is read four times, rows whose text is
      not the one their parts make, pairs of which a part is stored nowhere.

bench_merge_pairs (C++) reads the same folder through this build alone: the
program's own export of each merged database, read back into it and into a
new one.
"""
import itertools
import os
import sys

# vCard ADR parts: box, extended address, street, city, region, postal code,
# country. The same words stand in different parts, as different writers
# place them.
PARTS = [["", "PO Box 7"], ["", "Apt 4"], ["", "12 Oak St", "Springfield", "12 Oak St\nSpringfield"],
         ["", "Springfield"], ["", "IL", "Springfield"], ["", "99999", "12345"], ["", "USA"]]
# A value's kind as its TYPE and as an item label.
TYPES = ["", "HOME", "WORK", "OTHER"]
LABELS = ["", "Home", "Work", "School"]
VALUES = {"EMAIL": "ann@example.org", "TEL": "+1 555 0100", "ADR": ";;12 Oak St;Springfield;IL;99999;USA",
          "URL": "https://example.org/ann"}


def street(a):
    return "\n".join(p for p in (a[2], a[1], a[0]) if p)


def text(a, lone_postcode):
    """The text the readers store of a card's parts: with lone_postcode False
    as earlier builds made it, without a postal code beside no city or
    region."""
    return text_of(stored_parts(a), lone_postcode)


def text_of(parts, lone_postcode):
    street_lines, city, region, code, country = parts
    out = street_lines
    if city or region:
        out += "\n" + city + ("," if city and (region or code) else "")
        out += (" " + region if region else "") + (" " + code if code else "")
    elif code and lone_postcode:
        out += "\n" + code
    if country:
        out += "\n" + country
    return out.strip()


def escaped(value):
    return value.replace("\\", "\\\\").replace(",", "\\,").replace(";", "\\;").replace("\n", "\\n")


def card(name, lines):
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Pair;%s;;;\r\nFN:%s Pair\r\n%sEND:VCARD\r\n" % (
        name, name, "".join(l + "\r\n" for l in lines))


def address_pairs():
    addresses = [a for a in itertools.product(*PARTS) if any(a)]
    return [(a, b) for a, b in itertools.product(addresses, addresses)
            if a != b and text(a, False) == text(b, False)]


def kind_pairs():
    forms = list(itertools.product(TYPES, LABELS))
    return [(prop, a, b) for prop in VALUES for a, b in itertools.product(forms, forms) if a != b]


def kind_line(prop, form, item):
    kind, label = form
    params = ";TYPE=" + kind if kind else ""
    line = "%s%s%s:%s" % ("item%d." % item if label else "", prop, params, VALUES[prop])
    return [line, "item%d.X-ABLabel:%s" % (item, label)] if label else [line]


# Blanks as a hand or a writer leaves them inside a part.
BLANK_FORMS = ["  ", "\t", "   "]


def blank_pairs():
    """(a, b): the same address, one card's street or city with other
    blanks, a lone postal code in one card, the other, both or neither."""
    pairs = []
    for street, city, country, odd, form, codes in itertools.product(
            ["1 Main St", "Flat 2\n1 Main St"], ["", "Spring Field"], ["", "USA"], ["street", "city"],
            BLANK_FORMS, ["second", "first", "both", "neither"]):
        if odd == "city" and not city:
            continue
        plain = ["", "", street, city, "", "", country]
        other = list(plain)
        part = 2 if odd == "street" else 3
        other[part] = other[part].replace(" ", form, 1) if odd == "city" else other[part].replace("Main St", "Main" + form + "St")
        code = "12345"
        a, b = other, plain
        if codes in ("second", "both"):
            b = b[:5] + [code] + b[6:]
        if codes in ("first", "both"):
            a = a[:5] + [code] + a[6:]
        pairs.append((tuple(a), tuple(b)))
        pairs.append((tuple(b), tuple(a)))
    return pairs


def adr_line(a):
    return "ADR;TYPE=HOME:" + ";".join(escaped(p) for p in a)


def gen(folder):
    os.makedirs(os.path.join(folder, "blanks"), exist_ok=True)
    for n, (a, b) in enumerate(blank_pairs()):
        cards = card("Ann", [adr_line(a)]) + card("Ann", [adr_line(b)])
        for suffix, times in (("once", 1), ("four", 4)):
            with open(os.path.join(folder, "blanks", "%04d-%s.vcf" % (n, suffix)), "w", newline="") as f:
                f.write(cards * times)
    os.makedirs(os.path.join(folder, "addr"), exist_ok=True)
    os.makedirs(os.path.join(folder, "kind"), exist_ok=True)
    for n, (a, b) in enumerate(address_pairs()):
        cards = [card("Ann", ["ADR:" + ";".join(escaped(p) for p in x)]) for x in (a, b)]
        for suffix, times in (("once", 1), ("again", 2)):
            with open(os.path.join(folder, "addr", "%04d-%s.vcf" % (n, suffix)), "w", newline="") as f:
                f.write("".join(cards) * times)
    for n, (prop, a, b) in enumerate(kind_pairs()):
        with open(os.path.join(folder, "kind", "%04d.vcf" % n), "w", newline="") as f:
            f.write(card("Ann", kind_line(prop, a, 1)) + card("Ann", kind_line(prop, b, 1)))


def unescape(cell):
    out, i = [], 0
    while i < len(cell):
        if cell[i] == "\\" and i + 1 < len(cell):
            out.append({"n": "\n", "r": "\r", "t": "\t"}.get(cell[i + 1], cell[i + 1]))
            i += 2
        else:
            out.append(cell[i])
            i += 1
    return "".join(out)


def data_rows(path):
    """Each data row as (type, [data1..data14])."""
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("data "):
                cells = [unescape(c) for c in line[5:].rstrip("\n").split(" | ")]
                rows.append((int(cells[1]), cells[4:18]))
    return rows


def dump_of(dump, folder, sub, name):
    path = os.path.join(folder, sub, name)
    return os.path.join(dump, path.replace("/", "_") + ".txt")


def parts_of(row):
    d = row[1]
    return (d[3], d[6], d[7], d[8], d[9])  # street, city, region, postal code, country


def stored_parts(a):
    return (street(a), a[3], a[4], a[5], a[6])


# The names of the kinds of each type's table that the pairs give.
KIND_NAMES = {3: {0: "other", 1: "home", 2: "mobile", 3: "work"}, 4: {0: "other", 1: "home", 2: "work"},
              12: {0: "other", 1: "home", 2: "work"}, 13: {0: "other", 4: "home", 5: "work"}}


def is_stale(row_type, d):
    """A row of a kind beside a label that names another."""
    if row_type not in KIND_NAMES or d[1] in ("", "0") or not d[2]:
        return False
    return d[2].lower() != KIND_NAMES[row_type].get(int(d[1]))


def address_rows(dump, folder, name, sub="addr"):
    return [r for r in data_rows(dump_of(dump, folder, sub, name)) if r[0] == 12]


def single_blanks(text):
    return "\n".join(" ".join(line.split()) for line in text.split("\n"))


def compare_blanks(folder, dumps):
    pairs = blank_pairs()
    for dump in dumps:
        grows = untrue = hidden = lost = two = 0
        for n, (a, b) in enumerate(pairs):
            once = address_rows(dump, folder, "%04d-once.vcf" % n, "blanks")
            four = address_rows(dump, folder, "%04d-four.vcf" % n, "blanks")
            grows += len(four) > len(once)
            hidden += sum(r[1][0] == text_of(parts_of(r), False) != text_of(parts_of(r), True) for r in once)
            untrue += sum(r[1][0] not in (text_of(parts_of(r), True), text_of(parts_of(r), False)) for r in once)
            held = "\n".join(single_blanks(p) for r in once for p in parts_of(r))
            lost += any(v and single_blanks(v) not in held for v in a + b)
            two += len(once) > 1
        print("%s\n  %d street-blank pairs: read four times adds an address %d; a row whose text is of other "
              "parts %d, leaves its lone postal code out %d; a part stored nowhere %d; two addresses kept %d"
              % (dump, len(pairs), grows, untrue, hidden, lost, two))
        if dump != dumps[0]:
            names = sorted(os.listdir(os.path.join(folder, "blanks")))
            differ = [x for x in names if open(dump_of(dump, folder, "blanks", x), "rb").read()
                      != open(dump_of(dumps[0], folder, "blanks", x), "rb").read()]
            print("  blanks: %d of %d files read otherwise than by %s" % (len(differ), len(names), dumps[0]))


def compare(folder, dumps):
    if os.path.isdir(os.path.join(folder, "blanks")):
        compare_blanks(folder, dumps)
    pairs = address_pairs()
    kinds = kind_pairs()
    for dump in dumps:
        lost = replaced = mixed = hidden = unstable = two_rows = 0
        for n, (a, b) in enumerate(pairs):
            once = address_rows(dump, folder, "%04d-once.vcf" % n)
            again = address_rows(dump, folder, "%04d-again.vcf" % n)
            stored = [parts_of(r) for r in once]
            held = "\n".join(p for s in stored for p in s)
            lost += any(v and v not in held for v in b)
            replaced += any(v and v not in held for v in a)
            mixed += any(s not in (stored_parts(a), stored_parts(b)) for s in stored)
            hidden += sum(r[1][0] != text_of(parts_of(r), True) for r in once)
            unstable += [r[1] for r in once] != [r[1] for r in again]
            two_rows += len(once) > 1
        stale = sum(is_stale(t, d) for n in range(len(kinds))
                    for t, d in data_rows(dump_of(dump, folder, "kind", "%04d.vcf" % n)))
        print("%s\n  %d address pairs: a part of the second card stored nowhere %d, of the first %d; a row mixed "
              "from two cards %d; a row whose text leaves a part out %d; read twice stores other rows %d; "
              "two rows kept %d" % (dump, len(pairs), lost, replaced, mixed, hidden, unstable, two_rows))
        print("  %d kind pairs: rows of a kind beside a label that names another %d" % (len(kinds), stale))
        if dump == dumps[0]:
            continue
        for sub in ("addr", "kind"):
            names = sorted(os.listdir(os.path.join(folder, sub)))
            differ = [x for x in names if open(dump_of(dump, folder, sub, x), "rb").read()
                      != open(dump_of(dumps[0], folder, sub, x), "rb").read()]
            print("  %s: %d of %d files read otherwise than by %s" % (sub, len(differ), len(names), dumps[0]))
            if sub == "addr":
                rows = sum(len(address_rows(dump, folder, x)) != len(address_rows(dumps[0], folder, x))
                           for x in differ)
                print("    %d of them keep another number of addresses, %d as many addresses, of other parts or text"
                      % (rows, len(differ) - rows))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "gen":
        gen(sys.argv[2])
    elif len(sys.argv) >= 4 and sys.argv[1] == "compare":
        compare(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)
