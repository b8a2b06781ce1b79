#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""People whose name is a title alone ("Mr.", "Dr."), to compare builds on
which of them the merge joins.

  title_people.py gen DIR [SEED]
      writes DIR/people.vcf and DIR/people.csv (and DIR/titles.json, each
      person's title): 1,000 people of 12
      companies, each named by a title alone, most at a company, pairs of
      one household sharing a home number, some with an e-mail address,
      each with a note "Person NNNN" that tells who it is; each company's
      own card (a note "Company card"); and 60 cards without a name, each
      of its own e-mail address, with one of 5 assistants' numbers.
  title_people.py compare DIR DUMP...
      reads the folders bench_readdump wrote of DIR with each build and
      prints, per file and build: contacts stored; pairs of people of two
      titles in one contact; pairs of one title in one contact; people in a
      company's own card; people whose title their contact does not hold;
      people stored nowhere; cards of their own e-mail addresses joined to
      another.
"""
import json
import os
import random
import sys

TITLES = ["Mr.", "Mrs.", "Ms.", "Dr.", "Prof.", "Miss"]
COMPANIES = ["Acme Ltd", "Birch Clinic", "Cedar & Sons", "Delta Freight", "Elm Dental", "Fjord Travel",
             "Granite Bank", "Harbor Bistro", "Iris Optics", "Juniper Law", "Kestrel Air", "Lumen Labs"]


def people(seed):
    rnd = random.Random(seed)
    out = []
    home = 0
    for i in range(1000):
        # Every second pair of people shares a home number: a household.
        if i % 2 == 0 or rnd.random() < 0.3:
            home += 1
        person = {"id": i, "title": rnd.choice(TITLES), "home": "+1 555 %04d" % home}
        if rnd.random() < 0.7:
            person["org"] = rnd.choice(COMPANIES)
        if rnd.random() < 0.4:
            person["email"] = "p%04d@mail.example" % i
        out.append(person)
    return out


def vcard(lines):
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + "".join(l + "\r\n" for l in lines) + "END:VCARD\r\n"


def gen(folder, seed):
    os.makedirs(folder, exist_ok=True)
    folks = people(seed)
    cards = []
    rows = ["Name Prefix,Company,Home Phone,E-mail Address,Notes"]
    for n, company in enumerate(COMPANIES):
        cards.append(vcard(["N:;;;;", "FN:" + company, "ORG:" + company, "TEL;TYPE=WORK:+1 555 9%03d" % n,
                            "NOTE:Company card"]))
        rows.append(",%s,+1 555 9%03d,,Company card" % (company.replace("&", "and"), n))
    for p in folks:
        lines = ["N:;;;%s;" % p["title"], "FN:", "TEL;TYPE=HOME:" + p["home"], "NOTE:Person %04d" % p["id"]]
        if "org" in p:
            lines.append("ORG:" + p["org"])
        if "email" in p:
            lines.append("EMAIL;TYPE=HOME:" + p["email"])
        cards.append(vcard(lines))
        rows.append("%s,%s,%s,%s,Person %04d" % (p["title"], p.get("org", "").replace("&", "and"), p["home"],
                                                 p.get("email", ""), p["id"]))
    for n in range(60):
        cards.append(vcard(["N:;;;;", "FN:", "EMAIL;TYPE=WORK:staff%02d@acme.example" % n,
                            "X-ASSISTANT-TEL:+1 555 77%02d" % (n % 5)]))
        rows.append(",,,staff%02d@acme.example,Own e-mail" % n)
    with open(os.path.join(folder, "titles.json"), "w") as f:
        json.dump({"Person %04d" % p["id"]: p["title"] for p in folks}, f)
    with open(os.path.join(folder, "people.vcf"), "w", newline="") as f:
        f.write("".join(cards))
    with open(os.path.join(folder, "people.csv"), "w", newline="") as f:
        f.write("\r\n".join(rows) + "\r\n")


def unescape(cell):
    return cell.replace("\\n", "\n").replace("\\\\", "\\")


def stored(dump, folder, name):
    """{contact id: (prefix of its first name row, [notes], [e-mail addresses])}."""
    path = os.path.join(dump, os.path.join(folder, name).replace("/", "_") + ".txt")
    contacts = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("contact "):
                contacts[line[8:].split(" | ")[0]] = [None, [], []]
            elif line.startswith("data "):
                cells = [unescape(c) for c in line[5:].rstrip("\n").split(" | ")]
                kind, owner, data = int(cells[1]), cells[2], cells[4:18]
                if kind == 1 and contacts[owner][0] is None:
                    contacts[owner][0] = data[4]
                elif kind == 9:
                    contacts[owner][1].append(data[0])
                elif kind == 4:
                    contacts[owner][2].append(data[0])
    return contacts


def compare(folder, dumps):
    with open(os.path.join(folder, "titles.json")) as f:
        titles = json.load(f)
    for name in ("people.vcf", "people.csv"):
        for dump in dumps:
            contacts = stored(dump, folder, name)
            other = same = in_company = lost_title = joined = 0
            seen = set()
            for prefix, notes, emails in contacts.values():
                folks = [titles[n] for n in notes if n in titles]
                seen.update(n for n in notes if n in titles)
                for i in range(len(folks)):
                    for j in range(i + 1, len(folks)):
                        other += folks[i] != folks[j]
                        same += folks[i] == folks[j]
                if "Company card" in notes:
                    in_company += len(folks)
                lost_title += sum(t != prefix for t in folks)
                own = [e for e in emails if e.startswith("staff")]
                joined += max(0, len(own) - 1)
            print("%s %s: %d contacts; pairs of two titles in one contact %d, of one title %d; people in a "
                  "company's own card %d; people whose title their contact does not hold %d; people stored "
                  "nowhere %d; cards of their own e-mail joined to another %d"
                  % (name, dump, len(contacts), other, same, in_company, lost_title, len(titles) - len(seen),
                     joined))


if __name__ == "__main__":
    if len(sys.argv) in (3, 4) and sys.argv[1] == "gen":
        gen(sys.argv[2], int(sys.argv[3]) if len(sys.argv) == 4 else 90)
    elif len(sys.argv) >= 4 and sys.argv[1] == "compare":
        compare(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)
