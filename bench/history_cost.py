#!/usr/bin/env python3
"""The cost of a long change history, measured from outside the programs.

    history_cost.py <work> <runs> <size-MB>[,<size-MB>...] <label> <run-prefix> <bench> <cli>

Writes the histories of each size once (kept in <work> between runs), each
command its own run id and time; HISTORY_KINDS picks them ("recent far"):
in "recent" the bench's reader KVDEV-B1 is one of 40 readers changed in
turn to the end; in "far" it was changed once, at the very start, and only
other readers since; in "hblank" every row is KVDEV-B1's on this computer,
each change its HBlank alone, each start saying the reader was settled as
it began, as this version writes it; "hblank-old" the same as the versions
before wrote it, without that, so that the judgement reads it all. Then times, each <runs> times, with no history and with each of
those: the dialog's start-up (spelvane-bench device, its startup_ms line)
and each console command of COMMANDS (those that write put the history
back after them), keeping the wall time and the peak resident memory of
each process. Prints "name value" lines: medians, ms and MB.
"""
import datetime
import os
import socket
import statistics
import subprocess
import sys
import time

LIBRARY = '"C:\\Spelvane\\qzsd7.dll, version 0x07000500"'
HEADER = ("run,time,computer,user,program,version,library,command,event,reader,type,backup,file,"
          "outcome,reason,field,index,light,word,register,from,to\r\n")


def command_rows(number, reader):
    # Each command its own run id and time, a minute apart, as years of
    # ordinary use leave them.
    when = datetime.datetime(2020, 1, 1) + datetime.timedelta(minutes=number)
    stamp = when.strftime("%Y%m%dT%H%M%S")
    run = f"{stamp}-WS{number % 97:02d}-{number % 65536}"
    common = f"{run},{when:%Y-%m-%d %H:%M:%S} +01:00,WS{number % 97:02d},op,spelvane,1.0.0,{LIBRARY},store,"
    backup = f"{reader}_{when:%Y%m%d%H%M%S}.set"
    rows = [f"{common}start,{reader},TYPE1,{backup},,,,,,,,,,\r\n"]
    for light in range(4):
        rows.append(f"{common}change,{reader},TYPE1,{backup},,,,lightWord,,{light},2,5,256,341\r\n")
    rows.append(f"{common}outcome,{reader},TYPE1,{backup},,written,,,,,,,,\r\n")
    return "".join(rows)


def hblank_value(number):
    return 0x100 + number % 0x200


def hblank_rows(number, computer, recorded, last=False):
    # One reader's HBlank alone, tuned again and again on this computer: the
    # history whose every change leaves Half Clock and the shutters to older
    # ones. recorded: each start says, as this version writes it, that the
    # reader was settled as it began; the versions before left it empty.
    when = datetime.datetime(2020, 1, 1) + datetime.timedelta(minutes=number)
    run = f"{when:%Y%m%dT%H%M%S}-{computer}-{number % 65536}"
    common = f"{run},{when:%Y-%m-%d %H:%M:%S} +01:00,{computer},op,spelvane,1.0.0,{LIBRARY},store,"
    backup = f"KVDEV-B1_{when:%Y%m%d%H%M%S}.set"
    before = "reader settled before" if recorded else ""
    # The last one ends on what the bench's reader holds (256).
    old, new = hblank_value(number), 0x100 if last else hblank_value(number + 1)
    rows = [f"{common}start,KVDEV-B1,TYPE1,{backup},,,{before},,,,,,,\r\n"]
    for light in range(4):
        rows.append(f"{common}change,KVDEV-B1,TYPE1,{backup},,,,lightWord,,{light},2,5,{old},{new}\r\n")
    rows.append(f"{common}outcome,KVDEV-B1,TYPE1,{backup},,written,,,,,,,,\r\n")
    return "".join(rows)


def this_computer():
    # As the programs name it: Windows keeps 15 letters; compared without case.
    return socket.gethostname().split(".")[0][:15].upper()


def write_history(path, size, kind):
    if os.path.exists(path) and os.path.getsize(path) >= size:
        return
    if kind in ("hblank", "hblank-old"):
        with open(path + ".part", "w", newline="") as out:
            written = out.write(HEADER)
            number = 1
            while written < size:
                block = "".join(hblank_rows(number + i, this_computer(), kind == "hblank") for i in range(400))
                written += out.write(block)
                number += 400
            out.write(hblank_rows(number, this_computer(), kind == "hblank", last=True))
        os.replace(path + ".part", path)
        return
    recent = kind == "recent"
    readers = [f"KVDEV-R{i:02d}" for i in range(39)] + (["KVDEV-B1"] if recent else ["KVDEV-R39"])
    with open(path + ".part", "w", newline="") as out:
        written = out.write(HEADER)
        if not recent:
            written += out.write(command_rows(0, "KVDEV-B1"))
        number = 1
        while written < size:
            block = "".join(command_rows(number + i, readers[(number + i) % len(readers)]) for i in range(400))
            written += out.write(block)
            number += 400
    os.replace(path + ".part", path)


def run_measured(argv, cwd, env):
    """Runs argv as a child and returns (status, stdout, stderr, ms, peak MB)."""
    started = time.monotonic()
    pid = os.fork()
    if pid == 0:
        os.chdir(cwd)
        out = os.open(os.path.join(cwd, "out.txt"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
        err = os.open(os.path.join(cwd, "err.txt"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
        os.dup2(out, 1)
        os.dup2(err, 2)
        try:
            os.execvpe(argv[0], argv, env)
        finally:
            os._exit(127)
    _, status, usage = os.wait4(pid, 0)
    elapsed = (time.monotonic() - started) * 1000
    # Only the beginning: history prints the whole file, and what this
    # process holds counts in the peak of the next child until its exec.
    with open(os.path.join(cwd, "out.txt"), errors="replace") as f:
        out = f.read(65536)
    with open(os.path.join(cwd, "err.txt"), errors="replace") as f:
        err = f.read(65536)
    return os.waitstatus_to_exitcode(status), out, err, elapsed, usage.ru_maxrss / 1024


# The console's commands, each from the history's end but history and
# doctor, which read it whole from its start; store and sync add their rows
# (and a backup), taken away again after each run.
COMMANDS = (("show", ["show"], False), ("history_last_1", ["history", "--last", "1"], False),
            ("history_last_10", ["history", "--last", "10"], False), ("check", ["check", "--hblank", "0x100"], False),
            ("store", ["store", "--hblank", "0x101"], True), ("store_half_clock", ["store", "--half-clock", "on"], True),
            ("sync", ["sync", "--hblank", "0x102"], True), ("history_all", ["history"], False),
            ("doctor", ["doctor"], False))


def main():
    work, runs, sizes_mb, label, prefix, bench, cli = sys.argv[1:8]
    runs = int(runs)
    work, bench, cli = (os.path.abspath(path) for path in (work, bench, cli))
    prefix = prefix.split() if prefix else []
    os.makedirs(work, exist_ok=True)
    histories = {"empty": None}
    kinds = os.environ.get("HISTORY_KINDS", "recent far").split()
    for size_mb in sizes_mb.split(","):
        for kind in kinds:
            path = os.path.join(work, f"history-{kind}-{size_mb}MB.csv")
            write_history(path, int(size_mb) * 1024 * 1024, kind)
            histories[f"{kind}_{size_mb}MB"] = path
    conf_source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "probe.conf")
    for kind, history in histories.items():
        figures = {}
        size = os.path.getsize(history) if history else 0
        for run in range(runs):
            # The dialog's start-up (discovery, refresh and the history's notice).
            folder = os.path.join(work, f"{label}-device")
            argv = prefix + [bench, "device", folder, "single"] + ([history] if history else [])
            status, out, err, ms, peak = run_measured(argv, work, dict(os.environ))
            # Its store added rows of the reader: the history is put back.
            if history:
                os.truncate(history, size)
            startup = [float(line.split()[1]) for line in out.splitlines() if line.startswith("startup_ms ")]
            if status != 0 or not startup:
                sys.exit(f"{label} device {kind}: status {status}\n{out}\n{err}")
            figures.setdefault("startup_ms", []).append(startup[0])
            figures.setdefault("startup_peak_MB", []).append(peak)
            folder = os.path.join(work, f"{label}-cli")
            os.makedirs(folder, exist_ok=True)
            for name in os.listdir(folder):
                if name in ("spelvane-history.csv", "bench.conf", "kvdev-b1.img") or name.endswith(".set"):
                    os.remove(os.path.join(folder, name))
            with open(conf_source) as source, open(os.path.join(folder, "bench.conf"), "w") as conf:
                conf.write(source.read())
            if history:
                os.link(history, os.path.join(folder, "spelvane-history.csv"))
            env = dict(os.environ, QZSIM_CONFIG=os.path.join(folder, "bench.conf"), SPELVANE_LOCK_DIR=folder)
            for figure, args, writes in COMMANDS:
                status, out, err, ms, peak = run_measured(prefix + [cli] + args, folder, env)
                if writes:
                    if history:
                        os.truncate(history, size)
                    else:
                        os.remove(os.path.join(folder, "spelvane-history.csv"))
                    # The reader too: what the history no longer records
                    # would be a change nobody made.
                    for name in os.listdir(folder):
                        if name.endswith(".set") or name == "kvdev-b1.img":
                            os.remove(os.path.join(folder, name))
                if status != 0:
                    sys.exit(f"{label} {figure} {kind}: status {status}\n{out}\n{err}")
                figures.setdefault(f"{figure}_ms", []).append(ms)
                figures.setdefault(f"{figure}_peak_MB", []).append(peak)
        for name, values in figures.items():
            print(f"{label}_{kind}_{name} {statistics.median(values):.1f}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
