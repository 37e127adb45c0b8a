#!/usr/bin/env python3
"""Gathers the "name value" lines of bench/run.sh into the table of figures.

usage: summarize.py <results-dir> <runs>

Each file <platform>-<scenario>-<run>.txt holds one run. A figure is the
median over the runs; the smallest request gap is the smallest of all runs.
"""
import statistics
import sys
from collections import defaultdict
from pathlib import Path


def load(directory):
    figures = defaultdict(lambda: defaultdict(list))  # (platform, scenario) -> name -> values
    failed = []
    for path in sorted(Path(directory).glob("*.txt")):
        platform, scenario, _ = path.stem.split("-", 2)
        for line in path.read_text().splitlines():
            parts = line.split()
            if len(parts) != 2:
                continue
            name, value = parts
            if name == "failed":
                failed.append(path.name)
            figures[(platform, scenario)][name].append(float(value))
    return figures, failed


def main():
    figures, failed = load(sys.argv[1])
    runs = sys.argv[2]

    def value(platform, scenario, name, combine=statistics.median):
        values = figures.get((platform, scenario), {}).get(name)
        return combine(values) if values else None

    def cell(number, digits=1):
        return "n/a" if number is None else f"{number:.{digits}f}"

    def ratio(number, floor):
        return "n/a" if number is None else f"{number:.0f} ms = {number / floor:.3f} x floor"

    rows = []

    def row(label, target, native, wine, verdict):
        rows.append(f"| {label} | {target} | {native} | {wine} | {verdict} |")

    def within(numbers, limit):
        present = [n for n in numbers if n is not None]
        if not present:
            return "not measured"
        return "met" if all(n <= limit for n in present) else "NOT met"

    def at_least(numbers, limit):
        present = [n for n in numbers if n is not None]
        if not present:
            return "not measured"
        return "met" if all(n >= limit for n in present) else "NOT met"

    # 1 and 2: start-up and store against the floor.
    for label, scenario, name, floor in [
        ("1. Start-up, 1 device, 5 lights (timer start to refreshed dialog)", "single", "startup_ms", 580),
        ("1b. Start-up, pair, 5 lights each", "pair", "startup_ms", 1020),
        ("2. Store of HBlank, 1 device, 5 lights (Yes to completion)", "single", "store_ms", 1840),
        ("2b. Store of HBlank, pair, 5 lights each", "pair", "store_ms", 3680),
    ]:
        native = value("native", scenario, name)
        wine = value("wine", scenario, name)
        limit = floor * 1.02
        row(label, f"floor {floor} ms, measured/floor <= 1.02", ratio(native, floor), ratio(wine, floor),
            within([native, wine], limit))

    # 3: pacing, from the simulator's trace.
    for platform_scenarios in [("single", "1 device"), ("pair", "pair")]:
        scenario, what = platform_scenarios
        minimum = [value(p, scenario, "gap_min_ms", min) for p in ("native", "wine")]
        median = [value(p, scenario, "gap_paced_median_ms") for p in ("native", "wine")]
        p99 = [value(p, scenario, "gap_paced_p99_ms") for p in ("native", "wine")]
        row(f"3. Request gap, smallest of all runs ({what})", ">= 40.0 ms", cell(minimum[0], 2),
            cell(minimum[1], 2), at_least(minimum, 40.0))
        row(f"3. Paced gap, median ({what})", "<= 40.5 ms", cell(median[0], 2), cell(median[1], 2),
            within(median, 40.5))
        row(f"3. Paced gap, p99 ({what})", "(reported)", cell(p99[0], 2), cell(p99[1], 2), "-")

    # 4: the real dialog during a store (Wine only).
    for name, label in [("dialog_p50_ms", "p50"), ("dialog_p99_ms", "p99"), ("dialog_max_ms", "max")]:
        wine = value("wine", "probe", name)
        verdict = within([wine], 20.0) if label == "p99" else "-"
        row(f"4. Dialog round trip during a store, {label}", "p99 <= 20 ms" if label == "p99" else "(reported)",
            "n/a (Windows only)", cell(wine, 2), verdict)

    # 5: one append at 10,000 lines.
    native = value("native", "log", "append_p99_ms")
    row("5. Append at 10,000 lines, p99, log only (display taking nothing)", "<= 1 ms", cell(native, 3),
        cell(value("wine", "log", "append_p99_ms"), 3),
        within([native, value("wine", "log", "append_p99_ms")], 1.0))
    row("5. Append at 10,000 lines, p50, real log box (as the program does it)", "(reported)", "n/a (Windows only)",
        cell(value("wine", "box", "box_mirror_10000_p50_ms"), 3), "-")
    row("5. Append at 10 lines, p50, real log box (as the program does it)", "(reported)", "n/a (Windows only)",
        cell(value("wine", "box", "box_mirror_10_p50_ms"), 3), "-")
    row("5. Append at 10,000 lines, p50, real log box, waiting for the whole text (former way)", "(reported)",
        "n/a (Windows only)", cell(value("wine", "boxwhole", "box_whole_10000_p50_ms"), 3), "-")
    mirror = value("wine", "box", "box_mirror_10000_p99_ms")
    row("5. Append at 10,000 lines, p99, real log box (as the program does it)", "<= 1 ms", "n/a (Windows only)",
        cell(mirror, 3), within([mirror], 1.0))
    row("5. Append at 10 lines, p99, real log box (as the program does it)", "(reported)",
        "n/a (Windows only)", cell(value("wine", "box", "box_mirror_10_p99_ms"), 3), "-")
    row("5. Append at 10,000 lines, p99, real log box, waiting for the whole text (former way)", "(reported)",
        "n/a (Windows only)", cell(value("wine", "boxwhole", "box_whole_10000_p99_ms"), 3), "-")

    # 6: the real program under Wine, worked from outside by the probe. The
    # start-up's device requests are all paced, none with a fixed pause, so
    # their span has the floor (requests - 1) x 40 ms: 12 for five lights
    # (header, register list, then select and read of every light), 440 ms.
    requests = value("wine", "probe", "startup_requests")
    span_floor = (requests - 1) * 40 if requests else None
    for label, name, floor, limit in [
        ("6a. Real program, start-up: program start to device name shown", "program_startup_ms", 580, None),
        (f"6b. Real program, start-up: first to last device request ({requests or 0:.0f} requests)",
         "startup_span_ms", span_floor, 1.01),
        ("6c. Real program, Store: Yes to notice shown", "program_store_ms", 1840, 1.03),
        ("6d. Real program, Store: first write to last read-back", "store_span_ms", 1740, 1.01),
    ]:
        measured = value("wine", "probe", name)
        if floor is None:
            row(label, "not measured", "n/a", "n/a", "not measured")
            continue
        target = f"floor {floor:.0f} ms, " + (f"measured/floor <= {limit}" if limit else "(reported)")
        row(label, target, "n/a", ratio(measured, floor),
            within([measured], floor * limit) if limit else "-")
    row("6c. of which: Yes to the store's first write", "(reported)", "n/a",
        cell(value("wine", "probe", "store_lead_ms"), 1), "-")
    row("6c. of which: last read-back to notice shown (a 100 ms pause in it)", "(reported)", "n/a",
        cell(value("wine", "probe", "store_tail_ms"), 1), "-")
    minimum = value("wine", "probe", "gap_min_ms", min)
    row("6e. Real program, request gap, smallest of all runs", ">= 40.0 ms", "n/a", cell(minimum, 2),
        at_least([minimum], 40.0))
    median = value("wine", "probe", "gap_paced_median_ms")
    row("6f. Real program, paced gap, median", "<= 40.5 ms", "n/a", cell(median, 2), within([median], 40.5))
    row("6g. Real program, paced gap, p99", "(reported)", "n/a", cell(value("wine", "probe", "gap_paced_p99_ms"), 2),
        "-")

    print(f"Medians of {runs} runs (smallest gap: smallest of all runs).\n")
    print("| Figure | Floor or target | Native (POSIX) | Wine (32-bit Windows build) | Target |")
    print("|---|---|---|---|---|")
    print("\n".join(rows))
    if failed:
        print("\nRuns that failed (their figures are left out where missing): " + ", ".join(failed))


if __name__ == "__main__":
    main()
