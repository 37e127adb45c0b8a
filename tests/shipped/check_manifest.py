#!/usr/bin/env python3
"""Fails unless each Windows binary carries, as resource 1 of type 24, a
manifest that XP SP2 to 11 take as the program needs: requestedExecutionLevel
asInvoker in an asm.v3 trustInfo (left in asm.v1, XP refuses to start the
program), system DPI awareness (dpiAware true in an asm.v3 application's
windowsSettings: Vista to 11 then lay the dialog out at the display's DPI
instead of stretching a 96-DPI picture), no element declaring one namespace
twice (XP SP2 and Server 2003 RTM restart the machine on it), no version 6
common controls.

    check_manifest.py <binary>...
"""
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

V3 = "{urn:schemas-microsoft-com:asm.v3}"
DPI = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"


def resource(image, kind, number):
    """Resource number of type kind (its first language) as bytes, or None."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    rsrc = struct.unpack_from("<I", image, optional + 96 + 2 * 8)[0]  # PE32 data directory 2
    if not rsrc:
        return None
    table = [struct.unpack_from("<IIII", image, optional + optional_size + 40 * s + 8) for s in range(sections)]
    offset = lambda rva: next(raw + rva - at for size, at, _, raw in table if at <= rva < at + max(size, 1))
    base, entry = offset(rsrc), 0
    for wanted in (kind, number, None):
        named, numbered = struct.unpack_from("<HH", image, base + entry + 12)
        keys = [struct.unpack_from("<II", image, base + entry + 16 + 8 * i) for i in range(named + numbered)]
        entry = next((target & 0x7FFFFFFF for key, target in keys if wanted in (None, key)), None)
        if entry is None:
            return None
    data, size = struct.unpack_from("<II", image, base + entry)
    return image[offset(data):offset(data) + size]


def manifest(image):
    """Resource 1 of type 24 as text, or None."""
    data = resource(image, 24, 1)
    return None if data is None else data.decode("utf-8-sig", "replace")


def faults(text):
    found = []
    for tag in re.findall(r"<[A-Za-z][^<>]*>", text):
        uris = re.findall(r"""\sxmlns(?::[\w.-]+)?\s*=\s*["']([^"']*)["']""", tag)
        found += ["namespace %s declared twice on %s" % (u, tag.split()[0][1:]) for u in sorted(set(uris))
                  if uris.count(u) > 1]
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return found + ["not well-formed XML: %s" % error]
    level = root.find(".//%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel" % ((V3,) * 4))
    if level is None or level.get("level") != "asInvoker":
        found.append("execution level %s, not asInvoker in an asm.v3 trustInfo"
                     % (level.get("level") if level is not None else "missing"))
    aware = root.find(".//%sapplication/%swindowsSettings/%sdpiAware" % (V3, V3, DPI))
    if aware is None or (aware.text or "").strip().lower() != "true":
        found.append("not DPI aware (dpiAware true in an asm.v3 application's windowsSettings)")
    if "Microsoft.Windows.Common-Controls" in text:
        found.append("depends on the version 6 common controls")
    return found


if __name__ == "__main__":
    status = 0
    for binary in sys.argv[1:]:
        with open(binary, "rb") as f:
            text = manifest(f.read())
        problems = ["no manifest (resource 1 of type 24)"] if text is None else faults(text)
        name = binary.rsplit("/", 1)[-1]
        print("\n".join("%s: %s" % (name, p) for p in problems) or "%s: manifest ok, asInvoker, DPI aware" % name)
        status |= bool(problems)
    sys.exit(status if len(sys.argv) > 1 else "usage: check_manifest.py <binary>...")
