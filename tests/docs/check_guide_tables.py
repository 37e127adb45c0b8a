#!/usr/bin/env python3
"""Fails when the site's guide (docs/site.md, which ships) and the README
disagree on a table a site's scripts rely on, or when the guide lacks an
exit status, event id, event insert, report column or JSON key that the
programs' sources produce.

    check_guide_tables.py [source-root]
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
read = lambda name: (root / name).read_text(encoding="utf-8")
readme, guide = read("README.md"), read("docs/site.md")


def table(text, header):
    """The table that begins with the header line, as its lines; [] when none."""
    lines = text.splitlines()
    if header not in lines:
        return []
    at = lines.index(header)
    end = at
    while end < len(lines) and lines[end].startswith("|"):
        end += 1
    return lines[at:end]


def first_cells(rows):
    return {row.split("|")[1].strip().strip("`") for row in rows[2:]}


def function_body(source, name):
    start = re.search(r"^\S.*\b%s\(" % name, source, re.M).start()
    return source[start:source.index("\n}\n", start)]


cli_session = read("app/console/cli_session.h")
events = read("app/event_report.h")
report = read("app/site_report.cpp")
output = read("app/console/cli_output.cpp")
produced = {
    "| Status | Meaning |": set(re.findall(r"^\s+k\w+ = (\d+),", cli_session.split("enum ExitStatus")[1].split("};")[0],
                                         re.M)),
    "| Event id | Type | When |": set(re.findall(r"\bkEvent\w+ = (\d+)", events)),
    "| Insert | Holds |": {"%" + n for n in re.findall(r"%(\d+) \w+", events.split("struct ChangeEvent")[0].split("the inserts")[1])},
    "| Column | Holds |": set(re.findall(r'"(\w+)"', function_body(report, "siteReportHeader"))),
    # Only check and sync give "changed"; the other commands' own keys are
    # not this table's.
    "| Key | Holds |": set(re.findall(r'\\"(\w+)\\":', function_body(output, "formatReportJson") +
                                     function_body(output, "formatChangesJson"))) - {"dryRun", "differences", "unchangedWrites"},
    "| `doctor --json` key | Holds |": set(re.findall(r'\\"(\w+)\\":', function_body(read("app/console/cli_doctor.cpp"),
                                                                           "formatDoctorJson"))),
}
problems = []
for header, names in produced.items():
    ours, theirs = table(guide, header), table(readme, header)
    if not ours:
        problems.append("docs/site.md has no table %s" % header)
        continue
    if ours != theirs:
        problems.append("docs/site.md and README.md differ in the table %s" % header)
    if not names:
        problems.append("nothing found in the sources for %s" % header)
    missing = sorted(names - first_cells(ours))
    if missing:
        problems.append("docs/site.md's table %s lacks %s" % (header, ", ".join(missing)))
    print("%-28s %2d rows in the guide, %2d from the sources" % (header, len(ours) - 2, len(names)))
# The guide ships without the README: it may not send its reader there.
for number, line in enumerate(guide.splitlines(), 1):
    if "README" in line:
        problems.append("docs/site.md:%d sends its reader to the README" % number)
print("\n".join(problems) or "the guide holds every table, as the README does")
sys.exit(1 if problems else 0)
