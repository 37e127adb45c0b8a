#!/usr/bin/env python3
"""Builds the Windows Installer package so that one commit always gives the
same bytes.

usage: build_msi.py SOURCE_DIR WXS MSI VERSION NAME=FILE...

Each NAME=FILE is copied into a folder beside MSI under NAME (Dialog,
Console, ReadMe, Icon, ... as WXS's variables ask for them) and handed to
wixl as -D NAME=<copy>. wixl stops on an attribute it would ignore
(G_DEBUG=fatal-warnings) rather than leave it out of the package.

What wixl would take from the hour of the build is pinned: the copies are
dated from SOURCE_DATE_EPOCH (by default the time of the last commit in
SOURCE_DIR), which the cabinet records; the summary information's package
code follows from the version and the files, its two times from the same
epoch. The product code follows from the version alone.

What the installer's validation asks and wixl cannot say is set in the
built tables with msibuild (see validation_fixes), before the summary is
pinned: msibuild keeps the summary as wixl wrote it.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import uuid
import xml.etree.ElementTree as ElementTree

from pack_release import source_date_epoch

# The names the codes are derived in; changing one changes every code.
PRODUCT_NAMESPACE = uuid.UUID("3c0f2a6e-5d71-4b8e-a1f4-7e2d9b6c0a53")
SUMMARY_STREAM = "\x05SummaryInformation"
PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64
FILETIME_1970 = 116444736000000000  # 100 ns steps from 1601 to 1970
WIX = "{http://schemas.microsoft.com/wix/2006/wi}"
UI_DISALLOW_ABSENT = 16


def braced(code):
    return "{" + str(code).upper() + "}"


def product_code(version):
    return braced(uuid.uuid5(PRODUCT_NAMESPACE, f"Spelvane {version} product"))


def package_code(version, files):
    digest = hashlib.sha256()
    for path in files:
        with open(path, "rb") as f:
            digest.update(hashlib.sha256(f.read()).digest())
    return braced(uuid.uuid5(PRODUCT_NAMESPACE, f"Spelvane {version} package {digest.hexdigest()}"))


def pinned_summary(stream, code, epoch):
    data = bytearray(stream)
    # The property set header (28 bytes), one FMTID, then its section's offset.
    (section,) = struct.unpack_from("<I", data, 44)
    _, count = struct.unpack_from("<II", data, section)
    seen = set()
    for index in range(count):
        pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * index)
        where = section + offset
        (kind,) = struct.unpack_from("<I", data, where)
        if pid == PID_REVNUMBER and kind == VT_LPSTR:
            (length,) = struct.unpack_from("<I", data, where + 4)
            text = code.encode("ascii") + b"\0"
            if len(text) != length:
                sys.exit(f"build_msi: wixl's package code takes {length - 1} characters, not {len(text) - 1}")
            data[where + 8:where + 8 + length] = text
            seen.add(pid)
        elif pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM) and kind == VT_FILETIME:
            struct.pack_into("<Q", data, where + 4, FILETIME_1970 + epoch * 10000000)
            seen.add(pid)
    missing = {PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM} - seen
    if missing:
        sys.exit(f"build_msi: the summary information lacks properties {sorted(missing)}")
    return bytes(data)


def summary(msi):
    return subprocess.run(["msiinfo", "extract", msi, SUMMARY_STREAM], check=True, capture_output=True).stdout


# msibuild -a would add a second stream of that name beside wixl's: the
# stream is changed in place, where it lies in one piece, and read back.
def pin_summary(msi, code, epoch):
    stream = summary(msi)
    pinned = pinned_summary(stream, code, epoch)
    with open(msi, "rb") as f:
        package = f.read()
    where = package.find(stream)
    if where < 0 or package.find(stream, where + 1) >= 0:
        sys.exit(f"build_msi: the summary information of {msi} does not lie in one piece in the file")
    with open(msi, "r+b") as f:
        f.seek(where)
        f.write(pinned)
    if summary(msi) != pinned:
        sys.exit(f"build_msi: {msi} does not read back as written")


def table(msi, name):
    """The rows of table name, each a list of its columns."""
    text = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True, text=True).stdout
    return [line.rstrip("\r").split("\t") for line in text.splitlines()[3:]]


# wixl places RemoveExistingProducts after InstallFiles, whatever the
# source says, where Windows Installer fails the upgrade (ICE63). Right after
# InstallInitialize the older version's removal is the first step of the
# newer one's transaction: an upgrade that fails at any later step (the
# folder's custom action refusing, say) rolls the removal back and leaves the
# older version installed. The older files are gone before the newer are
# copied, so none outlives the upgrade and no REINSTALLMODE is needed.
def remove_existing_products_in_transaction(msi):
    sequence = {row[0]: int(row[2]) for row in table(msi, "InstallExecuteSequence")}
    sequence.pop("RemoveExistingProducts", None)
    place = sequence["InstallInitialize"] + 1
    if place in sequence.values():
        sys.exit(f"build_msi: no free place for RemoveExistingProducts right after InstallInitialize in {msi}")
    return f"UPDATE InstallExecuteSequence SET Sequence = {place} WHERE Action = 'RemoveExistingProducts'"


# wixl drops Absent="disallow": the feature gets what it means,
# msidbFeatureAttributesUIDisallowAbsent.
def features_kept(msi, wxs):
    attributes = {row[0]: int(row[7]) for row in table(msi, "Feature")}
    kept = [feature.get("Id") for feature in ElementTree.parse(wxs).iter(WIX + "Feature")
            if feature.get("Absent") == "disallow"]
    return [f"UPDATE Feature SET Attributes = {attributes[name] | UI_DISALLOW_ABSENT} WHERE Feature = '{name}'"
            for name in kept]


def validation_fixes(msi, wxs):
    statements = [remove_existing_products_in_transaction(msi)] + features_kept(msi, wxs)
    subprocess.run(["msibuild", msi] + [part for sql in statements for part in ("-q", sql)], check=True)


def main(source_dir, wxs, msi, version, *files):
    epoch = source_date_epoch(source_dir)
    stage = os.path.abspath(msi + ".files")
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    defines = ["-D", f"Version={version}", "-D", f"ProductCode={product_code(version)}"]
    staged = []
    for pair in files:
        name, _, file = pair.partition("=")
        copy = os.path.join(stage, name)
        shutil.copyfile(file, copy)
        os.utime(copy, (epoch, epoch))
        # wixl takes only relative paths: it runs in the folder of the copies.
        defines += ["-D", f"{name}={name}"]
        staged.append(copy)
    partial = os.path.abspath(msi + ".part")
    environment = dict(os.environ, G_DEBUG="fatal-warnings")
    subprocess.run(["wixl", "-a", "x86", *defines, "-o", partial, os.path.abspath(wxs)], check=True, env=environment,
                   cwd=stage)
    validation_fixes(partial, wxs)
    pin_summary(partial, package_code(version, staged + [wxs]), epoch)
    os.replace(partial, msi)
    shutil.rmtree(stage)


if __name__ == "__main__":
    if len(sys.argv) < 6:
        sys.exit(__doc__)
    main(*sys.argv[1:])
