#!/usr/bin/env python3
"""csv_columns_compare.py: generated tables headed as exporters head them, read by two or more builds.

  csv_columns_compare.py gen OUT_DIR [FILES_PER_SHAPE] [SEED]
      writes OUT_DIR/tables/*.csv and OUT_DIR/expect.json
  csv_columns_compare.py compare OUT_DIR DUMP_NEW DUMP_OLD [DUMP_OLDER ...]
      DUMP_* are bench_readdump folders of OUT_DIR/tables read by each build

Shapes: a field's columns headed again in the very same words (address and company
blocks, a street headed twice), a phone's extension right after the phone (and a
phone suite's address extension, and extension-like names that are no phone's),
CRM, mailing-list and accounting exports' spellings (camel case, "_", "-", case),
one field in two spellings, plain tables no rule is for; extension cells that hold
no number ("0", "-", "N/A", "none") or a spreadsheet's "214.0"; "Salutation"
columns of greetings and addressees (mail-merge lists, donor databases), "Title"
columns of job titles (staff directories, some with a doctor among them),
"Title" or "Salutation" columns of honorifics, of words that tell nothing or of
titles and jobs alike; and whole names that only repeat the title beside them. Each file lists what a
reader must store of it (an address of exactly its parts, a phone holding its
number and extension, a value in its field, a column named as not read); compare
counts, per shape and build, the values stored as the file gives them, and the
files each build reads better, worse or the same as the others (stored rows and
ending, value by value). Deterministic for a seed."""
import json
import os
import random
import sys

FIRST = ["Ann", "Bo", "Cy", "Dara", "Eli", "Fay", "Gus", "Hana", "Ivo", "Jun", "Kai", "Lena", "Marc", "Nia"]
LAST = ["Lee", "Chan", "Diaz", "Okafor", "Novak", "Berg", "Silva", "Tanaka", "Fischer", "Moreau"]
STREETS = ["1 Main St", "22 High Street", "9 Low Rd", "Hauptstr. 5", "12 rue Oberkampf", "PO Box 77"]
LINES = ["Apt 4", "Suite 210", "Flat 2", "Building C", "Floor 3", "Unit 12"]
CITIES = ["Boston", "Salem", "Austin", "Köln", "Paris", "Reno", "Leeds"]
STATES = ["MA", "TX", "NRW", "IL", "BC", "NV"]
ZIPS = ["02110", "01970", "73301", "50667", "75011", "89501", "LS1 4AP"]
COUNTRIES = ["USA", "Germany", "France", "United Kingdom", "Canada"]
COMPANIES = ["Acme", "Northwind", "Harbor Choir", "Keller Bau", "Red Cross", "Fern & Oak"]
TITLES = ["Engineer", "Treasurer", "CTO", "Volunteer", "Analyst"]

# Address parts: the stored key of each part.
PART_KEY = {"street": "data4", "city": "data7", "state": "data8", "zip": "data9", "country": "data10"}
BLOCKS = [
    [("Address", "street"), ("City", "city"), ("ZIP", "zip")],
    [("Street", "street"), ("City", "city"), ("State", "state"), ("Postal Code", "zip")],
    [("Address", "street"), ("City", "city"), ("State", "state"), ("Zip Code", "zip"), ("Country", "country")],
    [("Home Street", "street"), ("Home City", "city"), ("Home Postal Code", "zip")],
    [("Business Street", "street"), ("Business City", "city"), ("Business State", "state"),
     ("Business Postal Code", "zip")],
    [("Street", "street"), ("Street", "street2"), ("City", "city"), ("ZIP", "zip")],
]
ORG_BLOCKS = [[("Company", "data1"), ("Position", "data4")],
              [("Company", "data1"), ("Job Title", "data4"), ("Department", "data5")]]

# Known fields of CRM, mailing-list and accounting exports: a name, its entity
# type and stored key, and values.
KNOWN = [
    ("First Name", 1, "data2", FIRST), ("Last Name", 1, "data3", LAST), ("Middle Name", 1, "data4", ["Q", "Maria"]),
    ("Job Title", 10, "data4", TITLES), ("Company", 10, "data1", COMPANIES), ("Department", 10, "data5", ["R&D"]),
    ("Email Address", 4, "data1", ["a@x.example", "b@y.example"]), ("Email ID", 4, "data1", ["id@z.example"]),
    ("Mobile Phone", 3, "data1", ["+1 555 0101", "+44 7700 900123"]), ("Home Phone", 3, "data1", ["+1 555 0199"]),
    ("Work Phone", 3, "data1", ["+1 555 0100"]), ("Address Line 1", 12, "data4", STREETS),
    ("City", 12, "data7", CITIES), ("Province", 12, "data8", STATES), ("Zip Code", 12, "data9", ZIPS),
    ("Postal Code", 12, "data9", ZIPS), ("Country", 12, "data10", COUNTRIES),
    ("URL", 13, "data1", ["https://x.example"]), ("Website", 13, "data1", ["www.y.example"]),
    ("Nick Name", 5, "data1", ["Leni", "Sammy"]), ("Salutation", 1, "data5", ["Mr.", "Dr."]),
]
UNKNOWN = ["id", "lead source", "created at", "member rating", "optin time", "Currency Code", "Payment Terms",
           "Last Modified", "Owner", "Tags"]


def spell(name, rng):
    words = name.split(" ")
    how = rng.choice(["camel", "pascal", "snake", "kebab", "lower", "upper", "asis", "snakeupper"])
    if how == "camel":
        return words[0].lower() + "".join(w[:1].upper() + w[1:] for w in words[1:])
    if how == "pascal":
        return "".join(w[:1].upper() + w[1:] for w in words)
    if how == "snake":
        return "_".join(w.lower() for w in words)
    if how == "snakeupper":
        return "_".join(w.upper() for w in words)
    if how == "kebab":
        return "-".join(w.lower() for w in words)
    if how == "lower":
        return name.lower()
    if how == "upper":
        return name.upper()
    return name


def cell(text):
    if any(c in text for c in ',"\n'):
        return '"' + text.replace('"', '""') + '"'
    return text


class Table:
    def __init__(self, shape, header):
        self.shape, self.header, self.rows, self.expect = shape, header, [], []

    def row(self, cells, expects):
        self.rows.append(cells)
        self.expect.append(expects)

    def text(self):
        out = [",".join(cell(h) for h in self.header)]
        out += [",".join(cell(c) for c in r) for r in self.rows]
        return "\r\n".join(out) + "\r\n"


def person(rng, i, r):
    # Unique per file and row, so no two rows merge into one contact.
    return "%s%d" % (rng.choice(FIRST), r), "%s%d" % (rng.choice(LAST), i)


def gen_blocks(rng, i):
    block = rng.choice(BLOCKS)
    orgs = rng.random() < 0.4
    org = rng.choice(ORG_BLOCKS)
    k = rng.choice([2, 2, 3])
    header = ["First Name", "Last Name"] + [n for _ in range(k) for n, _ in block]
    if orgs:
        header += [n for _ in range(k) for n, _ in org]
    t = Table("blocks", header)
    for r in range(rng.randint(2, 6)):
        first, last = person(rng, i, r)
        cells, expects = [first, last], [["field", 1, "data3", last]]
        for _ in range(k):
            parts, fill = {}, rng.choice(["all", "all", "some", "none"])
            for _, part in block:
                v = ""
                if fill == "all" or (fill == "some" and rng.random() < 0.5):
                    v = rng.choice({"street": STREETS, "street2": LINES, "city": CITIES, "state": STATES,
                                    "zip": ZIPS, "country": COUNTRIES}[part])
                cells.append(v)
                if v:
                    key = PART_KEY["street" if part == "street2" else part]
                    parts[key] = (parts[key] + " " + v) if key in parts else v
            if parts:
                expects.append(["addr", parts])
        if orgs:
            for _ in range(k):
                fields = {}
                for _, key in org:
                    v = rng.choice(COMPANIES if key == "data1" else TITLES) if rng.random() < 0.7 else ""
                    cells.append(v)
                    if v:
                        fields[key] = v
                if fields:
                    expects.append(["row", 10, fields])
        t.row(cells, expects)
    return t


def gen_lines(rng, i):
    name = rng.choice(["Street", "Address", "Home Street", "Business Street", "Addr:Home:Street"])
    tail = {"Street": ["City", "ZIP"], "Address": ["City", "State", "Postal Code"],
            "Home Street": ["Home City"], "Business Street": ["Business City", "Business Postal Code"],
            "Addr:Home:Street": ["Addr:Home:City"]}[name]
    n = rng.choice([2, 2, 3])
    t = Table("lines", ["First Name", "Last Name"] + [name] * n + tail)
    for r in range(rng.randint(2, 6)):
        first, last = person(rng, i, r)
        lines = [rng.choice(STREETS)] + [rng.choice(LINES) if rng.random() < 0.7 else "" for _ in range(n - 1)]
        if rng.random() < 0.2:
            lines[0] = ""
        rest = [rng.choice(CITIES)] + [rng.choice(ZIPS) for _ in tail[1:]]
        street = " ".join(v for v in lines if v)
        parts = {"data4": street} if street else {}
        for col, v in zip(tail, rest):
            key = "data7" if col.endswith("City") else ("data8" if col == "State" else "data9")
            parts[key] = v
        t.row([first, last] + lines + rest, [["field", 1, "data3", last], ["addr", parts]])
    return t


def person_cells(rng, i, r):
    # A row's first cells, its person's names, and what it must store of them.
    first, last = person(rng, i, r)
    return [first, last], [["field", 1, "data3", last]]


def phone_cell(rng, r):
    return rng.choice(["+1 617 555 01%02d" % r, "555-01%02d" % r, ""])


def gen_extension(rng, i):
    phones = rng.sample(["Business Phone", "Home Phone", "Work Phone", "Phone", "Mobile Phone", "Other Phone"],
                        rng.randint(1, 3))
    header, pairs = ["First Name", "Last Name"], []
    for p in phones:
        kind = p.split(" ")[0] if " " in p else ""
        ext = rng.choice([(kind + " Extension").strip(), "Extension", "Ext", "Ext.", "Phone Extension",
                          p + " Ext"])
        header += [p, ext]
        pairs.append(p)
    hostile = rng.choice(["Extension", "Ext"]) if rng.random() < 0.3 else None
    if hostile:
        # Extension-like names that hold no phone's extension: named, not read.
        header += ["Email", hostile, "Next Call"]
    suite = rng.random() < 0.3
    if suite:
        header += ["Home P.O.Box", "Home extension", "Home street", "Home city"]
    t = Table("extension", header)
    for r in range(rng.randint(2, 6)):
        cells, expects = person_cells(rng, i, r)
        for _ in pairs:
            number = phone_cell(rng, r)
            ext = rng.choice(["214", "31", "x12", "ext. 9", ""])
            cells += [number, ext]
            if number or ext:
                expects.append(["phone", [v for v in (number, ext) if v]])
        if hostile:
            mail = "m%d.%d@x.example" % (i, r)
            cells += [mail, "55", "Monday"]
            expects += [["field", 4, "data1", mail], ["unread", hostile], ["unread", "Next Call"]]
        if suite:
            box, line, street = "P.O. Box 12", "Gate 3", rng.choice(STREETS)
            cells += [box, line, street, "Salem"]
            expects.append(["contains", 12, "data4", [street, line, box]])
        t.row(cells, expects)
    return t


def gen_spellings(rng, i):
    fields = rng.sample(KNOWN, rng.randint(4, 9))
    if not any(f[0] in ("First Name", "Last Name") for f in fields):
        fields.append(KNOWN[1])
    unknown = rng.sample(UNKNOWN, rng.randint(0, 3))
    cols = [(spell(f[0], rng), f) for f in fields] + [(spell(u, rng), None) for u in unknown]
    rng.shuffle(cols)
    # Two spellings of one field that also read alike are one column; keep
    # the table to one spelling a field.
    seen, kept = set(), []
    for name, f in cols:
        key = (f[1], f[2]) if f else name
        if key not in seen:
            seen.add(key)
            kept.append((name, f))
    t = Table("spellings", [n for n, _ in kept])
    for r in range(rng.randint(2, 6)):
        cells, expects = [], []
        for name, f in kept:
            if f is None:
                v = "u%d" % r
                expects.append(["unread", name])
            else:
                v = rng.choice(f[3])
                if f[2] in ("data2", "data3") and f[1] == 1:
                    v = "%s%d%d" % (v, i, r)
                expects.append(["field", f[1], f[2], v])
            cells.append(v)
        t.row(cells, expects)
    return t


def gen_twins(rng, i):
    other = rng.choice(["first_name", "firstName", "FIRST NAME", "first-name", " First Name "])
    exact = rng.random() < 0.5
    header = ["First Name", other, "Last Name"] + (["Middle Name", "Middle Name"] if exact else [])
    t = Table("twins", header)
    for r in range(rng.randint(2, 6)):
        a, b = rng.choice(FIRST), rng.choice(FIRST)
        if rng.random() < 0.3:
            a = ""
        last = "%s%d%d" % (rng.choice(LAST), i, r)
        cells, expects = [a, b, last], [["field", 1, "data3", last], ["field", 1, "data2", a or b]]
        if exact:
            m1, m2 = rng.choice(["Q", "Ann"]), rng.choice(["B", "Lou"])
            cells += [m1, m2]
            expects.append(["field", 1, "data4", m1 + " " + m2])
        t.row(cells, expects)
    return t


def gen_plain(rng, i):
    # Shapes no rule is for: each must read as before.
    header = rng.choice([
        ["First Name", "Last Name", "Home Phone", "Home Phone", "Notes", "Notes"],
        ["Name", "E-mail Address", "E-mail Address", "Mobile Phone", "Categories"],
        ["First Name", "Last Name", "Home Street", "Home Street 2", "Home City", "Business Phone", "Pager"],
        ["Title", "First Name", "Last Name", "Company", "Phone", "Fax", "Note"],
        ["First Name", "Last Name", "Tel:Home", "Tel:Home", "Addr:Work:City", "IM:Skype", "IM:Jabber"],
    ])
    t = Table("plain", header)
    for r in range(rng.randint(2, 6)):
        first, last = person(rng, i, r)
        cells = []
        for h in header:
            if h in ("First Name", "Name"):
                cells.append(first + (" " + last if h == "Name" else ""))
            elif h == "Last Name":
                cells.append(last)
            else:
                cells.append(rng.choice(["v%d %s" % (r, h.split(" ")[0]), ""]))
        t.row(cells, [])
    return t


def gen_noext(rng, i):
    # Extension cells that hold no number, and a spreadsheet's numbers.
    phones = rng.sample(["Business Phone", "Home Phone", "Work Phone", "Phone"], rng.randint(1, 2))
    header = ["First Name", "Last Name"]
    for p in phones:
        header += [p, rng.choice(["Extension", "Ext", "Ext.", p.split(" ")[0] + " Extension"])]
    t = Table("noext", header)
    for r in range(rng.randint(2, 6)):
        cells, expects = person_cells(rng, i, r)
        for _ in phones:
            number = phone_cell(rng, r)
            ext = rng.choice(["0", "00", "-", "N/A", "n/a", "none", "None", "--", "214.0", "31.00", "0.0", "",
                              "214", "x12"])
            cells += [number, ext]
            whole = ext.split(".")[0] if ext[:1].isdigit() else ext
            if not any(c.isdigit() and c != "0" for c in whole):
                if number:
                    expects.append(["phone_exact", number])
            elif number:
                expects.append(["phone_exact", number + (";ext=" + whole if whole[0].isdigit() else " " + whole)])
            else:
                expects.append(["phone_exact", whole])
        t.row(cells, expects)
    return t


HONORIFICS = ["Mr.", "Ms.", "Mrs.", "Dr.", "Prof.", "Mr", "Ms", "Miss", "Herr", "Frau", "Mme", "Mlle", "M.",
              "Rev.", "Prof. Dr.", "Mr. & Mrs.", "Dr. med.", "Sr.", "Sra.", "Ing.", "Mag.", "Dame", "Sir", "Mx."]
JOBS = ["Director of Curriculum", "Head Teacher", "Principal", "Assistant Principal", "Teacher", "Grade 3 Teacher",
        "School Nurse", "Custodian", "Librarian", "Counselor", "Secretary", "Superintendent", "Registrar",
        "Bus Driver", "Speech Pathologist", "Special Education Teacher", "Athletic Director",
        "Food Service Worker", "Technology Coordinator", "Paraprofessional", "Office Manager", "Treasurer",
        # Job titles no word of which says so.
        "Kindergarten", "Maintenance", "Cafeteria", "Business Office"]


def title_spelling(rng, name):
    return rng.choice([name, name, name.lower(), name.upper(), " " + name + " "])


def gen_greetings(rng, i):
    # A mail-merge list or a donor database: greetings and addressees under "Salutation".
    donor = rng.random() < 0.5
    titled = rng.random() < 0.5
    sal = title_spelling(rng, "Salutation")
    if donor:
        header = ["Constituent ID", "Addressee", sal, "First Name", "Last Name", "Spouse", "Email"]
    else:
        header = (["Title"] if titled else []) + ["First Name", "Last Name", sal, "Address Line 1", "City", "Email"]
    t = Table("greetings", header)
    for r in range(rng.randint(2, 8)):
        first, last = person(rng, i, r)
        spouse = rng.choice(FIRST)
        hon = rng.choice(["Mr.", "Ms.", "Mrs.", "Dr."])
        greeting = rng.choice(["Dear %s," % first, "Dear %s" % first, "Dear %s %s," % (hon, last), "Hi %s" % first,
                               first, "%s and %s" % (first, spouse), "Dear %s and %s," % (first, spouse),
                               "The %s Family" % last, "Dear Friend,", "Friends", "Mr. and Mrs. %s" % last,
                               "%s & %s" % (first, spouse), "Dear Dr. %s" % last])
        if rng.random() < 0.1:
            greeting = ""
        mail = "g%d.%d@x.example" % (i, r)
        if donor:
            cells = ["C%d" % r, "%s %s %s" % (hon, first, last), greeting, first, last, spouse + " " + last, mail]
            shown = "%s %s" % (first, last)
        else:
            cells = ([hon] if titled else []) + [first, last, greeting, rng.choice(STREETS), rng.choice(CITIES), mail]
            shown = ("%s %s %s" % (hon, first, last)) if titled else "%s %s" % (first, last)
        t.row(cells, [["listed", shown], ["field", 4, "data1", mail]] + ([["unread", sal]] if greeting else []))
    return t


def gen_jobtitles(rng, i):
    # A staff directory: job titles under "Title".
    title = title_spelling(rng, "Title")
    place = rng.choice(["School", "Building", "Department", "Location"])
    header = rng.choice([["Last Name", "First Name", title, place, "Email", "Phone"],
                         ["Name", title, place, "Email Address", "Work Phone"],
                         ["First Name", "Last Name", title, "Email"]])
    doctor = rng.random() < 0.1
    t = Table("jobtitles", header)
    for r in range(rng.randint(3, 20)):
        first, last = person(rng, i, r)
        job = "Dr." if doctor and r == 0 else rng.choice(JOBS)
        mail = "s%d.%d@district.example" % (i, r)
        cells, expects = [], [["field", 4, "data1", mail]]
        for h in header:
            if h == "Name":
                cells.append("%s %s" % (first, last))
            elif h == "First Name":
                cells.append(first)
            elif h == "Last Name":
                cells.append(last)
            elif h == title:
                cells.append(job)
            elif h.startswith("Email"):
                cells.append(mail)
            elif h.endswith("Phone"):
                cells.append("555-201-%04d" % (i * 20 + r))
            else:
                cells.append(rng.choice(["Lincoln Elementary", "District Office", "Jefferson Middle"]))
        if job != "Dr.":
            expects += [["field", 10, "data4", job], ["listed", "%s %s" % (first, last)]]
        t.row(cells, expects)
    return t


def gen_honorifics(rng, i):
    # A CRM or mail program's export: titles before the name, under either name.
    col = title_spelling(rng, rng.choice(["Title", "Salutation"]))
    header = [col, "First Name", "Last Name", rng.choice(["Company", "Email"])]
    t = Table("honorifics", header)
    for r in range(rng.randint(2, 8)):
        first, last = person(rng, i, r)
        hon = rng.choice(HONORIFICS) if rng.random() < 0.85 else ""
        other = "Co%d.%d" % (i, r) if header[3] == "Company" else "h%d.%d@x.example" % (i, r)
        expects = [["listed", " ".join(x for x in (hon, first, last) if x)]]
        if hon:
            expects.append(["field", 1, "data5", hon])
        t.row([hon, first, last, other], expects)
    return t


def gen_untold(rng, i):
    # Cells that tell nothing, or titles and jobs alike: as the build before read them.
    col = rng.choice(["Title", "Salutation"])
    header = ["First Name", "Last Name", title_spelling(rng, col), "Email"]
    mixed = rng.random() < 0.5
    t = Table("untold", header)
    for r in range(rng.randint(2, 8)):
        first, last = person(rng, i, r)
        word = ["Mr.", "Principal"][r % 2] if mixed else rng.choice(["Guest", "Patron", "VIP", "Gold", "A", "Alumnus"])
        mail = "u%d.%d@x.example" % (i, r)
        if col == "Title":
            expects = [["field", 1, "data5", word], ["listed", "%s %s %s" % (word, first, last)]]
        else:
            expects = [["listed", "%s %s" % (first, last)], ["unread", header[2]]]
        t.row([first, last, word, mail], expects + [["field", 4, "data1", mail]])
    return t


def gen_titlename(rng, i):
    # A whole name that only repeats the title beside it: the person is known by company, number or e-mail.
    header = [rng.choice(["Name Prefix", "Title", "Prefix"]), "Name", "Organization", "E-mail Address",
              "Business Phone"]
    t = Table("titlename", header)
    for r in range(rng.randint(2, 8)):
        first, last = person(rng, i, r)
        hon = rng.choice(["Dr.", "Mr.", "Ms.", "Prof."])
        alone = rng.random() < 0.7
        org = "Clinic %d.%d" % (i, r) if rng.random() < 0.5 else ""
        mail = "t%d.%d@x.example" % (i, r)
        phone = "+1 206 555 %04d" % (i * 10 + r) if rng.random() < 0.5 else ""
        name = hon if alone else rng.choice(["%s %s %s" % (hon, first, last), "%s %s" % (first, last)])
        if alone:
            expects = [["listed", org or phone or mail], ["apart"]]
        else:
            expects = [["listed", name if name.startswith(hon) else "%s %s" % (hon, name)]]
        t.row([hon, name, org, mail, phone], expects + [["field", 4, "data1", mail]])
    return t


SHAPES = [gen_blocks, gen_lines, gen_extension, gen_spellings, gen_twins, gen_plain, gen_noext, gen_greetings,
          gen_jobtitles, gen_honorifics, gen_untold, gen_titlename]


def generate(out, per_shape, seed):
    rng = random.Random(seed)
    tables = os.path.join(out, "tables")
    os.makedirs(tables, exist_ok=True)
    expect = {}
    for s, shape in enumerate(SHAPES):
        for n in range(per_shape):
            i = s * per_shape + n
            t = shape(rng, i)
            name = "%05d-%s.csv" % (i, t.shape)
            with open(os.path.join(tables, name), "w", encoding="utf-8", newline="") as f:
                f.write(t.text())
            expect[name] = {"shape": t.shape, "rows": t.expect}
    with open(os.path.join(out, "expect.json"), "w") as f:
        json.dump(expect, f)
    print("%d tables in %s" % (len(expect), tables))


def read_dump(path):
    contacts, data, ending = {}, [], ""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("success ") or line.startswith("error "):
                ending += line
            elif line.startswith("contact "):
                cells = line[8:].split(" | ")
                contacts[cells[0]] = cells[2]
            elif line.startswith("data "):
                cells = line[5:].split(" | ")
                data.append((int(cells[1]), cells[2], cells[4:14]))
    # Each contact's listed name, as a row of type 0.
    by_contact = {name: [(0, [name] + [""] * 9)] for name in contacts.values()}
    for type_, cid, fields in data:
        by_contact.setdefault(contacts.get(cid, ""), []).append((type_, fields))
    return by_contact, ending


def key_index(key):
    return int(key[4:]) - 1


def unescape(text):
    return text.replace("\\n", "\n").replace("\\\\", "\\")


def satisfied(exp, rows, ending):
    kind = exp[0]
    if kind == "unread":
        return ('\\"%s\\"' % exp[1]) in ending or ('"%s"' % exp[1]) in ending
    if kind == "field":
        _, type_, key, value = exp
        return any(t == type_ and unescape(f[key_index(key)]) == value for t, f in rows)
    if kind == "contains":
        _, type_, key, values = exp
        return any(t == type_ and all(v in unescape(f[key_index(key)]) for v in values) for t, f in rows)
    if kind == "phone":
        return any(t == 3 and all(v in unescape(f[0]) for v in exp[1]) for t, f in rows)
    if kind == "phone_exact":
        return any(t == 3 and unescape(f[0]) == exp[1] for t, f in rows)
    if kind == "listed":
        return any(t == 0 and f[0] == exp[1] for t, f in rows)
    if kind == "apart":
        # The person is a contact of its own: one e-mail address, its row's.
        return sum(t == 4 for t, f in rows) == 1
    if kind in ("addr", "row"):
        type_, parts = (12, exp[1]) if kind == "addr" else (exp[1], exp[2])
        keys = ["data4", "data7", "data8", "data9", "data10"] if type_ == 12 else ["data1", "data4", "data5"]
        return any(t == type_ and all(unescape(f[key_index(k)]) == parts.get(k, "") for k in keys)
                   for t, f in rows)
    raise ValueError(kind)


def compare(out, dumps):
    expect = json.load(open(os.path.join(out, "expect.json")))
    tables = os.path.abspath(os.path.join(out, "tables"))
    names = [os.path.basename(d.rstrip("/")) for d in dumps]
    per_shape = {}
    for name, wanted in sorted(expect.items()):
        path = os.path.join(tables, name).replace("/", "_") + ".txt"
        results, texts = [], []
        for d in dumps:
            text = open(os.path.join(d, path), encoding="utf-8").read()
            texts.append(text)
            by_contact, ending = read_dump(os.path.join(d, path))
            got = []
            for row in wanted["rows"]:
                # The row's contact: the one that keeps most of what the row gives.
                best = [satisfied(e, [], ending) for e in row]
                for rows in by_contact.values():
                    kept = [satisfied(e, rows, ending) for e in row]
                    if sum(kept) > sum(best):
                        best = kept
                got.append(best)
            results.append(got)
        s = per_shape.setdefault(wanted["shape"], {"files": 0, "values": 0, "kept": [0] * len(dumps),
                                                 "same": [0] * len(dumps), "better": [0] * len(dumps),
                                                 "worse": [0] * len(dumps)})
        s["files"] += 1
        s["values"] += sum(len(r) for r in wanted["rows"])
        for b in range(len(dumps)):
            s["kept"][b] += sum(sum(r) for r in results[b])
        new = [v for r in results[0] for v in r]
        for b in range(1, len(dumps)):
            old = [v for r in results[b] for v in r]
            if texts[0] == texts[b]:
                s["same"][b] += 1
            elif any(o and not n for n, o in zip(new, old)):
                s["worse"][b] += 1
                print("worse than %s: %s" % (names[b], name))
            elif any(n and not o for n, o in zip(new, old)):
                s["better"][b] += 1
            else:
                # Stored rows differ, no value the file gives is kept better or worse.
                s.setdefault("differs", [0] * len(dumps))[b] += 1
                print("differs from %s, no value better or worse: %s" % (names[b], name))
    print("shape        files values " + " ".join("kept:%-10s" % n for n in names))
    for shape, s in per_shape.items():
        print("%-12s %5d %6d " % (shape, s["files"], s["values"]) + " ".join("%-15d" % k for k in s["kept"]))
    for b in range(1, len(dumps)):
        print("against %s:" % names[b])
        for shape, s in per_shape.items():
            print("  %-12s same %4d better %4d worse %4d other %4d"
                  % (shape, s["same"][b], s["better"][b], s["worse"][b], s.get("differs", [0] * len(dumps))[b]))


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "gen":
        generate(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 200,
                 int(sys.argv[4]) if len(sys.argv) > 4 else 1)
    elif len(sys.argv) >= 5 and sys.argv[1] == "compare":
        compare(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)
