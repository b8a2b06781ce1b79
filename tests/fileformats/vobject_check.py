#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a vCard file with python3-vobject and prints, as JSON, what an
independent reader sees in each card: the formatted name, the family and
given names, the phone numbers and the e-mail addresses.

usage: vobject_check.py FILE
Exit code 0 with the JSON list on stdout; 2 when vobject is missing; 1 when
the file does not parse."""
import json
import sys

try:
    import vobject
except ImportError:
    sys.exit(2)


def text(value):
    # vobject gives a list where it split an unescaped comma.
    if isinstance(value, list):
        return ",".join(value)
    return value


with open(sys.argv[1], encoding="utf-8", newline="") as fh:
    data = fh.read()
cards = []
# A file vobject cannot parse ends here with its traceback and exit code 1.
for card in vobject.readComponents(data):
    n = card.contents.get("n")
    cards.append({
        "fn": text(card.fn.value) if "fn" in card.contents else None,
        "family": text(n[0].value.family) if n else None,
        "given": text(n[0].value.given) if n else None,
        "tel": [text(t.value) for t in card.contents.get("tel", [])],
        "email": [text(e.value) for e in card.contents.get("email", [])],
    })
json.dump(cards, sys.stdout, ensure_ascii=False)
