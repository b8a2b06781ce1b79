#!/usr/bin/env python3
"""csvshape_compare.py BEFORE NEW WORKDIR [--count N]: where a table's header stands and what
a file holding cards is, proven both ways on generated files against the build before.

BEFORE and NEW are two builds' bench_readdump. Families of N files each (default 300),
seeded, in WORKDIR/in; beside each, where it has one, the file it stands for in WORKDIR/ref:
  above     a table below rows of its own (a title, the date, an empty padded row, a section's
            name, "Notes:" and a quoted note of several lines, a delimiter hint, blank rows):
            NEW stores what BEFORE stores of the table alone, row for row, and its ending is
            that table's, its rows numbered from the header's, after one sentence naming the
            rows above
  odd       ordinary tables whose first rows look odd (a header of one known column, one filled
            cell, unknown names, dates and numbers in names, quoted cells of several lines in
            the header and the first rows, a title of two cells, one-column tables, rows of one
            cell and blank rows under the header): NEW reads each exactly as BEFORE
  headless  tables without a header, their first row a person's values: NEW refuses them
            where that row holds an e-mail address or a phone number, else reads as BEFORE
  cards     cards after lines of their own with separators (an upload's body, a mail's
            header lines), named .vcf or .csv: NEW stores what BEFORE stores of the cards alone
  table+card tables whose header comes first or below rows of their own, a card pasted into a
            quoted cell: NEW reads them as tables, those without rows above exactly as BEFORE
  numbered  tables whose header names known columns beside a season, a school year, a date of
            digits or a list's address ("2023/2024", "2024 - 2025", "20240115",
            "news@club.example"), first or below rows of their own: NEW reads them as tables,
            those without rows above exactly as BEFORE (run with BEFORE the build before the
            header rule to check it, with a later one to count what it refused)
Every stored row (contact, data, group) is compared value by value. Prints the counts per
family and each file that fails its rule; exits 1 if any does."""
import os
import random
import re
import shutil
import subprocess
import sys

args = sys.argv[1:]
count = 300
if "--count" in args:
    at = args.index("--count")
    count = int(args[at + 1])
    del args[at:at + 2]
before_dump, new_dump, work = args
rng = random.Random(8675)
numbered_rng = random.Random(8676)

FIRST = ["Mira", "Jon", "Priya", "Tomasz", "Aiko", "Lars", "Zoë", "Омар", "Inés", "Kwame", "Ruth", "Nguyễn"]
LAST = ["Holt", "Ames", "Nair", "Wiśniewski", "Sato", "Berg", "O'Neil", "Ибрагимов", "García", "Mensah"]
COMPANY = ["Harbor Freight Lines", "Ames & Sons, Ltd.", "Kanal Logistyka", "Berg \"North\" AB", "Sato Design"]
CITY = ["Seattle", "Portland", "Gdynia", "Kyoto", "Malmö", "Accra"]
# Known columns, by what they hold; unknown ones beside them.
KNOWN = [("First Name", "first"), ("Last Name", "last"), ("E-mail Address", "email"), ("Email", "email"),
         ("Mobile Phone", "phone"), ("Phone", "phone"), ("Company", "company"), ("Organization", "company"),
         ("City", "city"), ("Notes", "note"), ("Job Title", "title")]
UNKNOWN = [("Ref", "ref"), ("Balance", "money"), ("Connected On", "day"), ("Kundennummer", "ref"),
           ("Q1 2024", "money"), ("2024-03-01", "money"), ("01/03/2024", "money"), ("Tel. 1", "ref")]
TITLES = ["Ledger Tool v4.5 - 03/01/2024", "CLIENTS", "Exported on 2024-03-01 10:22", "Contact list",
          "Report: all customers", "Généré le 01.03.2024", "Connections", "Contacts of mira.holt@example.net",
          "Support: +1 206 555 0100"]
NOTE = ("When exporting your connection data, you may notice that some of the email addresses are "
        "missing.\nYou will only see email addresses for connections who allowed it; see the help, "
        "\"Exports\".")


def value(kind):
    first, last = rng.choice(FIRST), rng.choice(LAST)
    return {
        "first": first, "last": last,
        "email": f"{first.lower()}.{rng.randint(1, 99)}@example.net" if first.isascii() else f"u{rng.randint(1, 999)}@example.org",
        "phone": f"+1 {rng.randint(200, 999)} 555 {rng.randint(1000, 9999)}",
        "company": rng.choice(COMPANY), "city": rng.choice(CITY),
        "note": rng.choice(["met at the fair", "call after six, not before", "line one\nline two", ""]),
        "title": rng.choice(["Owner", "Head of Sales, EMEA", "Dispatch Lead"]),
        "ref": f"C-{rng.randint(100, 999)}", "money": f"{rng.randint(0, 9999)}.{rng.randint(0, 99):02d}",
        "day": f"{rng.randint(1, 28):02d} Mar 2023",
    }[kind]


def cell(text, delim, quote_all):
    if quote_all or any(c in text for c in (delim, '"', "\n", "\r")):
        return '"' + text.replace('"', '""') + '"'
    return text


def row(cells, delim, quote_all=False):
    return delim.join(cell(c, delim, quote_all) for c in cells)


def table(header_row=True, columns=None, rows=None):
    """A table's lines (without line ends joined), its delimiter and its quoting."""
    delim = rng.choice([",", ",", ";", "\t"])
    quote_all = rng.random() < 0.3
    if columns is None:
        columns = rng.sample(KNOWN, rng.randint(2, 6)) + rng.sample(UNKNOWN, rng.randint(0, 2))
        rng.shuffle(columns)
    lines = [row([name for name, _ in columns], delim, quote_all)] if header_row else []
    for _ in range(rows if rows is not None else rng.randint(1, 8)):
        lines.append(row([value(kind) if rng.random() < 0.85 else "" for _, kind in columns], delim, quote_all))
    return lines, delim, quote_all, columns


def ended(lines, bom, above=()):
    """The file of the lines, and of the same lines below those above them."""
    end = rng.choice(["\n", "\r\n", "\r"])
    last = end if rng.random() < 0.9 else ""
    mark = "\ufeff" if bom else ""
    return mark + end.join(list(above) + lines) + last, mark + end.join(lines) + last


def rows_above(delim, width):
    out = []
    for _ in range(rng.randint(1, 6)):
        shape = rng.choice(["title", "padded", "blank", "empty", "notes", "hint"])
        if shape == "title":
            out.append(cell(rng.choice(TITLES), delim, False))
        elif shape == "padded":
            out.append(cell(rng.choice(TITLES), delim, False) + delim * (width - 1))
        elif shape == "empty":
            out.append(delim * (width - 1))
        elif shape == "blank":
            out.append("")
        elif shape == "notes":
            out += ["Notes:", '"' + NOTE.replace('"', '""') + '"', ""]
        elif shape == "hint" and not out and delim != "\t":
            out.append("sep=" + delim)
    return out


def card(first, last):
    return (f"BEGIN:VCARD\r\nVERSION:3.0\r\nN:{last};{first};;;\r\nFN:{first} {last}\r\n"
            f"TEL;TYPE=CELL:+1 206 555 {rng.randint(1000, 9999)}\r\nEND:VCARD\r\n")


def write(folder, name, text):
    os.makedirs(os.path.join(work, folder), exist_ok=True)
    with open(os.path.join(work, folder, name), "wb") as f:
        f.write(text.encode("utf-8"))


shutil.rmtree(work, ignore_errors=True)
families = {}
for i in range(count):
    bom = rng.random() < 0.2
    # A table below rows of its own, and the table alone.
    lines, delim, quote_all, columns = table()
    above = rows_above(delim, len(columns))
    whole, alone = ended(lines, bom, above)
    write("in", f"above-{i:04d}.csv", whole)
    write("ref", f"above-{i:04d}.csv", alone)
    families.setdefault("above", []).append(f"above-{i:04d}.csv")

    # Ordinary tables whose first rows look odd.
    shape = i % 9
    if shape == 0:  # one known column among unknown ones
        columns = [rng.choice(KNOWN)] + rng.sample(UNKNOWN, 2)
        lines = table(columns=columns)[0]
    elif shape == 1:  # one filled cell in the header, a known one
        lines, delim, _, columns = table()
        lines[0] = delim * 2 + cell(rng.choice(KNOWN)[0], delim, False) + delim * 2
    elif shape == 2:  # a one-column table, unknown name, rows of one cell, then a row of two
        lines = ["Kontakte"] + [value("first") + " " + value("last") for _ in range(rng.randint(1, 25))]
        lines.append(f"{value('first')}, {value('last')}")
    elif shape == 3:  # a one-column table of a known column
        lines = [rng.choice(["Mobile", "Email", "Notes", "Name"])] + [value("phone") for _ in range(5)]
    elif shape == 4:  # quoted cells of several lines in the header and the first rows
        lines, delim, _, columns = table()
        names = [name for name, _ in columns]
        names[0] = names[0].replace(" ", "\n")
        lines[0] = row(names, delim, True)
        lines.insert(1, row(["multi\nline\n" + value("note")] + [""] * (len(columns) - 1), delim, True))
    elif shape == 5:  # a title of two cells above the header, as before
        lines, delim, _, columns = table()
        lines.insert(0, row(["Contact list", "2024-03-01"], delim))
    elif shape == 6:  # rows of one cell and blank rows right under the header
        lines, delim, _, columns = table()
        lines[1:1] = ["", cell(value("first"), delim, False), "", row(["", value("last")], delim)]
    elif shape == 7:  # unknown names in another language, known words in the cells below
        lines = ["Vorname,Nachname,Art,Nummer"] + [f"{value('first')},{value('last')},Mobile,{value('phone')}"
                                                   for _ in range(4)]
    else:  # dates, years and numbers in the names
        columns = rng.sample(KNOWN, 2) + [("2024-03-01", "money"), ("01/03/2024", "money"), ("Zip 98101", "ref")]
        lines = table(columns=columns)[0]
    write("in", f"odd-{i:04d}.csv", ended(lines, bom)[0])
    families.setdefault("odd", []).append(f"odd-{i:04d}.csv")

    # Tables without a header, their first row a person's values (an organizer's layout).
    columns = [("", "last"), ("", "first"), ("", "company"), ("", "label"), ("", "phone"), ("", "label"),
               ("", "email"), ("", "city")]
    lines = []
    for r in range(rng.randint(1, 5)):
        cells = []
        for _, kind in columns:
            if kind == "label":
                cells.append(rng.choice(["Work", "Home", "Mobile", "E-mail", "Fax"]))
            else:
                cells.append(value(kind) if rng.random() < (0.5 if kind in ("phone", "email") else 0.9) else "")
        lines.append(row(cells, ",", rng.random() < 0.5))
    write("in", f"headless-{i:04d}.csv", ended(lines, bom)[0])
    families.setdefault("headless", []).append(f"headless-{i:04d}.csv")

    # Cards after lines of their own with separators.
    cards = "".join(card(rng.choice(FIRST), rng.choice(LAST)) for _ in range(rng.randint(1, 4)))
    boundary = f"------FormBoundary{rng.randint(10**9, 10**10)}"
    head = rng.choice([
        [boundary, 'Content-Disposition: form-data; name="file"; filename="contacts.vcf"',
         "Content-Type: text/x-vcard", ""],
        [boundary, 'Content-Disposition: form-data; name="upload"; filename="a, b.vcf"',
         "Content-Type: text/vcard; charset=utf-8", ""],
        ["From: Mira Holt <mira@example.net>", "To: Jon Ames <jon@example.net>, Priya <p@example.net>",
         "Subject: cards; as asked", ""],
        ["Exported cards", "count: 3; version: 3.0"],
    ])
    tail = f"{boundary}--\r\n" if head[0] == boundary else ""
    name = f"cards-{i:04d}." + ("vcf" if i % 2 else "csv")
    write("in", name, "\r\n".join(head) + "\r\n" + cards + tail)
    write("ref", name, cards)
    families.setdefault("cards", []).append(name)

    # A table whose header comes first or below rows of its own, a card pasted into a cell.
    lines, delim, _, columns = table(columns=[("First Name", "first"), ("Last Name", "last"), ("Notes", "note")])
    lines.insert(2, row([value("first"), value("last"), "pasted:\n" + card("Bob", "Roe")], delim, True))
    above = rows_above(delim, 3) if i % 2 else []
    name = f"tablecard-{i:04d}." + ("vcf" if i % 3 == 0 else "csv")
    whole, alone = ended(lines, False, above)
    write("in", name, whole)
    if above:
        write("ref", name, alone)
    families.setdefault("table+card", []).append(name)

    # A header naming known columns beside numbers and addresses of its own, from its own
    # generator so the families above stay as they were.
    rng, outer = numbered_rng, rng
    odd_names = rng.sample(["2023/2024", "2024 - 2025", "20240115", "news@club.example", "2023-24", "2024/25",
                            "board@club.example", "20231201", "Season 2023/2024"], rng.randint(1, 3))
    columns = rng.sample(KNOWN, rng.randint(2, 5)) + [(n, "flag") for n in odd_names]
    rng.shuffle(columns)
    delim = rng.choice([",", ",", ";", "\t"])
    lines = [row([n for n, _ in columns], delim)]
    for _ in range(rng.randint(1, 8)):
        lines.append(row([rng.choice(["paid", "x", "", "opened", "2024-01-15"]) if kind == "flag" else
                          (value(kind) if rng.random() < 0.85 else "") for _, kind in columns], delim))
    above = rows_above(delim, len(columns)) if i % 2 else []
    name = f"numbered-{i:04d}.csv"
    whole, alone = ended(lines, bom, above)
    write("in", name, whole)
    if above:
        write("ref", name, alone)
    families.setdefault("numbered", []).append(name)
    rng = outer


def dump(build, tag, folder):
    out = os.path.join(work, f"dump-{tag}-{folder}")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    subprocess.run([build, out, os.path.join(work, folder)], check=True, env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    result = {}
    for name in os.listdir(os.path.join(work, folder)):
        mangled = os.path.join(work, folder, name).replace("/", "_") + ".txt"
        with open(os.path.join(out, mangled), encoding="utf-8") as f:
            text = f.read()
        lines = text.splitlines()
        ending = [l for l in lines if l.startswith(("success ", "error "))]
        stored = [l for l in lines if not l.startswith(("success ", "error "))]
        # An error names the file it read.
        ending = [re.sub(r"^error /\S+: ", "error ", l) for l in ending]
        result[name] = (ending, stored)
    return result


before = {folder: dump(before_dump, "before", folder) for folder in ("in", "ref")}
new = {folder: dump(new_dump, "new", folder) for folder in ("in", "ref")}
ABOVE = re.compile(r"<br/>Rows? 1(-\d+)?: the rows? stands? above the header row and w(as|ere) left out\.")
HEADLESS = "error This file has no header row"


def sentences(ending):
    """The ending with its row numbers set aside, for tables read from another row on."""
    return [re.sub(r"\b(Rows?) [\d, \-]+(and \d+ more)?", r"\1 #", l) for l in ending]


failures = []
print(f"{'family':<11} {'files':>6} {'as ruled':>9} {'before differs':>15}")
for family, names in families.items():
    good = differs = 0
    for name in names:
        n_end, n_rows = new["in"][name]
        b_end, b_rows = before["in"][name]
        if family == "odd" or (family in ("table+card", "numbered") and name not in new["ref"]):
            ok = (n_end, n_rows) == (b_end, b_rows)
        elif family == "headless":
            ok = (n_end, n_rows) == (b_end, b_rows) or (n_end[0].startswith(HEADLESS) and not n_rows)
        else:
            r_end, r_rows = before["ref"][name]
            ok = n_rows == r_rows and new["ref"][name] == before["ref"][name]
            if family in ("above", "table+card", "numbered"):
                shown = [re.sub(r"<br/>Left out or changed:$", "", ABOVE.sub("", l)) for l in n_end]
                ok = ok and sentences(shown) == sentences(r_end)
        good += ok
        differs += (b_end, b_rows) != (n_end, n_rows)
        if not ok:
            failures.append(f"{family}: {name}")
    print(f"{family:<11} {len(names):>6} {good:>9} {differs:>15}")
for family in ("headless", "numbered"):
    for tag, dumps in (("NEW", new), ("BEFORE", before)):
        refused = sum(dumps["in"][n][0][0].startswith(HEADLESS) for n in families[family])
        print(f"{family} tables refused by {tag}: {refused} of {len(families[family])}")
for failure in failures[:40]:
    print("FAILS", failure)
sys.exit(1 if failures else 0)
