#!/usr/bin/env python3
"""Fails unless each Windows binary carries an application manifest that
Windows XP SP2 to 11 all take the way the program needs:

- resource 1 of type 24 (the manifest a process is started with);
- requestedExecutionLevel asInvoker, inside trustInfo in the asm.v3
  namespace (left in asm.v1, XP refuses to start the program);
- no element declaring one namespace twice (XP SP2 and Server 2003 RTM
  restart the machine on it);
- no dependency on the version 6 common controls.

    check_manifest.py <binary>...
"""
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_MANIFEST = 24
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"


def resource(image, type_id, name_id):
    """The bytes of the first language of resource type_id/name_id, or None."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from("<H", image, optional)[0] == 0x10B else 112)
    rsrc_rva, _ = struct.unpack_from("<II", image, directories + 2 * 8)
    if rsrc_rva == 0:
        return None

    def offset(rva):
        for s in range(sections):
            entry = optional + optional_size + 40 * s
            size, address, _, raw = struct.unpack_from("<IIII", image, entry + 8)
            if address <= rva < address + max(size, 1):
                return raw + rva - address
        raise ValueError("RVA %#x outside every section" % rva)

    base = offset(rsrc_rva)

    def child(directory, wanted):
        named, numbered = struct.unpack_from("<HH", image, base + directory + 12)
        for i in range(named + numbered):
            key, target = struct.unpack_from("<II", image, base + directory + 16 + 8 * i)
            if wanted is None or (not key & 0x80000000 and key == wanted):
                return target
        return None

    level = 0
    for wanted in (type_id, name_id, None):
        level = child(level, wanted)
        if level is None:
            return None
        level &= 0x7FFFFFFF
    data_rva, size = struct.unpack_from("<II", image, base + level)
    start = offset(data_rva)
    return image[start:start + size]


def faults(text):
    found = []
    for tag in re.findall(r"<[A-Za-z][^<>]*>", text):
        uris = re.findall(r"""\sxmlns(?::[\w.-]+)?\s*=\s*["']([^"']*)["']""", tag)
        for uri in sorted({u for u in uris if uris.count(u) > 1}):
            found.append("namespace %s declared twice on %s" % (uri, tag.split()[0][1:]))
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return found + ["not well-formed XML: %s" % error]
    level = root.find(".//{%s}trustInfo/{%s}security/{%s}requestedPrivileges/{%s}requestedExecutionLevel"
                      % ((ASM_V3,) * 4))
    if level is None:
        found.append("no requestedExecutionLevel in an asm.v3 trustInfo")
    elif level.get("level") != "asInvoker":
        found.append("execution level %s, not asInvoker" % level.get("level"))
    if "Microsoft.Windows.Common-Controls" in text:
        found.append("depends on the version 6 common controls")
    return found


def main(binaries):
    status = 0
    for binary in binaries:
        name = binary.rsplit("/", 1)[-1]
        with open(binary, "rb") as f:
            manifest = resource(f.read(), RT_MANIFEST, 1)
        problems = ["no manifest (resource 1 of type 24)"] if manifest is None else faults(
            manifest.decode("utf-8-sig", "replace"))
        for problem in problems:
            print("%s: %s" % (name, problem))
        if problems:
            status = 1
        else:
            print("%s: manifest ok, asInvoker" % name)
    return status


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: check_manifest.py <binary>...")
    sys.exit(main(sys.argv[1:]))
