#!/usr/bin/env python3
"""Fails unless each Windows binary carries a message table (resource 1 of
type 11) with a text for every event id the header declares, using no insert
beyond those the program passes: without it the event viewer shows an event
as a text it cannot find.

    check_event_messages.py <event_report.h> <binary>...
"""
import re
import struct
import sys

from check_manifest import resource


def messages(table):
    """{id: text} of a MESSAGE_RESOURCE_DATA block."""
    found = {}
    for block in range(struct.unpack_from("<I", table, 0)[0]):
        low, high, at = struct.unpack_from("<III", table, 4 + 12 * block)
        for number in range(low, high + 1):
            length, unicode = struct.unpack_from("<HH", table, at)
            text = table[at + 4:at + length]
            found[number] = text.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
            at += length
    return found


header = open(sys.argv[1]).read()
ids = {int(n): name for name, n in re.findall(r"\b(kEvent\w+) = (\d+)", header)}
inserts = len(re.findall(r"%\d+ \w+", header.split("struct ChangeEvent")[0].split("the inserts")[1]))
status = 0
for binary in sys.argv[2:]:
    with open(binary, "rb") as f:
        table = resource(f.read(), 11, 1)
    texts = messages(table) if table else {}
    problems = ["no text for %s (%d)" % (name, n) for n, name in sorted(ids.items()) if not texts.get(n)]
    problems += ["%d names insert %%%s of %d" % (n, i, inserts) for n, text in sorted(texts.items())
                 for i in re.findall(r"%(\d+)", text) if int(i) > inserts]
    name = binary.rsplit("/", 1)[-1]
    print("\n".join("%s: %s" % (name, p) for p in problems) or
          "%s: %d event texts, %d inserts" % (name, len(ids), inserts))
    status |= bool(problems) or not ids
sys.exit(status if len(sys.argv) > 2 else "usage: check_event_messages.py <event_report.h> <binary>...")
