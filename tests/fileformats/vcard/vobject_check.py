#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a vCard file with python3-vobject and prints, as JSON, every
property an independent reader sees in each card.

usage: vobject_check.py FILE
Exit code 0 with the JSON list on stdout; 2 when vobject is missing; 1 when
the file does not parse.

Each card is a list of properties in file order, VERSION, the labels and
the messaging services left out: [name, types, label, value, service], with
  name   the property name in lower case ("tel", "x-event");
  types  the TYPE values in lower case, in the order written;
  label  the X-ABLabel of the property's item group, "" when it has none;
  service the X-IM-PROTOCOL of the property's item group, "" when it has
         none;
  value  text; the five parts of N and the seven of ADR as lists; ORG (its
         empty trailing units dropped) and CATEGORIES as the lists vobject
         splits them into; PHOTO as "sha1:" and the hex SHA-1 of the
         decoded bytes.
A text that vobject split at an unescaped comma comes back as a list, so a
missing escape shows as a mismatch instead of a shortened value."""
import hashlib
import json
import sys

try:
    import vobject
except ImportError:
    sys.exit(2)


def value_of(name, line):
    value = line.value
    if name == "n":
        return [value.family, value.given, value.additional, value.prefix, value.suffix]
    if name == "adr":
        return [value.box, value.extended, value.street, value.city, value.region, value.code,
                value.country]
    if name == "org":
        while value and value[-1] == "":
            value = value[:-1]
        return value
    if name == "photo":
        data = value if isinstance(value, bytes) else value.encode("latin-1")
        return "sha1:" + hashlib.sha1(data).hexdigest()
    return value


with open(sys.argv[1], encoding="utf-8", newline="") as fh:
    data = fh.read()
cards = []
# A file vobject cannot parse ends here with its traceback and exit code 1.
for card in vobject.readComponents(data):
    lines = sorted(card.getChildren(), key=lambda line: line.lineNumber or 0)
    def item_values(name):
        return {line.group.lower(): line.value for line in lines
                if line.name.lower() == name and line.group}
    labels = item_values("x-ablabel")
    services = item_values("x-im-protocol")
    props = []
    for line in lines:
        name = line.name.lower()
        if name in ("version", "x-ablabel", "x-im-protocol"):
            continue
        types = [t.lower() for t in line.params.get("TYPE", [])]
        group = line.group.lower() if line.group else None
        props.append([name, types, labels.get(group, ""), value_of(name, line), services.get(group, "")])
    cards.append(props)
json.dump(cards, sys.stdout, ensure_ascii=False)
