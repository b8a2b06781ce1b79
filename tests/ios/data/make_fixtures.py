#!/usr/bin/env python3
# Writes mixed.bplist with Python's own binary writer, an independent check
# that files from other writers (shared objects, other offset sizes) parse.
import datetime, plistlib
tree = {
    "name": "Zoë ✓",
    "count": 2**40, "neg": -5, "ratio": 0.5, "yes": True, "no": False,
    "blob": b"\x00\x01\xfe", "when": datetime.datetime(2020, 2, 29, 12, 30, 15),
    "ref": plistlib.UID(7),
    "list": ["same", "same", {"inner": [1, 2]}],
}
open("mixed.bplist", "wb").write(plistlib.dumps(tree, fmt=plistlib.FMT_BINARY, sort_keys=True))
