#!/usr/bin/env python3
"""Packs the operator's zip so that one commit always gives the same bytes.

usage: pack_release.py SOURCE_DIR ZIP TOP NAME=FILE...

Every NAME=FILE becomes TOP/NAME in ZIP, beside TOP/SHA256SUMS, which lists
them all (ZIP's own SHA-256 is listed beside it by the target dist). Entries come in
name order, all dated from SOURCE_DATE_EPOCH (by default the time of the
last commit in SOURCE_DIR), with the same permissions and no extra fields:
nothing of the machine, the folder or the hour of the build gets in.
"""
import hashlib
import os
import subprocess
import sys
import time
import zipfile

# A zip time is the DOS one: from 1980 on, in steps of two seconds.
DOS_EPOCH = 315532800


def source_date_epoch(source_dir):
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if not value:
        try:
            value = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                                   check=True, capture_output=True, text=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            sys.exit(f"pack_release: git cannot tell the time of the last commit in {source_dir}; "
                     "set SOURCE_DATE_EPOCH to the time the package should carry")
    if not value.isdigit():
        sys.exit(f"pack_release: SOURCE_DATE_EPOCH is not a number of seconds: {value!r}")
    return max(int(value), DOS_EPOCH)


def sums_text(contents):
    # CR LF: the operator reads it in Notepad; sha256sum -c takes it too.
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\r\n"
                   for name, data in sorted(contents.items())).encode()


def write_zip(path, top, contents, epoch):
    stamp = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in sorted(contents.items()):
            entry = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            entry.create_system = 3  # Unix, so that unzip applies the permissions
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data, compresslevel=9)


def main(source_dir, zip_path, top, *files):
    contents = {}
    for pair in files:
        name, _, file = pair.partition("=")
        with open(file, "rb") as f:
            contents[name] = f.read()
    contents["SHA256SUMS"] = sums_text(contents)
    partial = zip_path + ".part"
    write_zip(partial, top, contents, source_date_epoch(source_dir))
    os.replace(partial, zip_path)


if __name__ == "__main__":
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
