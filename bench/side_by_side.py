#!/usr/bin/env python3
"""Times table-reading clients side by side against one agent, each a fresh process.

For every client: N runs of the whole table and N runs of a 1-value read of the same kind,
in N rounds that each run every client once.
Per value is the client's CPU time (user + system) for the table minus its CPU time for the
1-value read, divided by the values beyond the first: the slope, without start-up costs.
Medians are reported, and beside them the same figures from the fastest runs ("best"): what
else the machine does only ever adds time, so the best runs show a client's own cost more
steadily. Peak RSS is the largest of the table runs.

  side_by_side.py --measure PATH --runs 5 --client NAME 'TABLE COMMAND' 'ONE-VALUE COMMAND' ...
"""
import argparse
import re
import shlex
import statistics
import subprocess
import sys
import time


def run(measure, command):
    """Runs one command under `measure`; returns (cpu seconds, wall seconds, peak RSS in KiB,
    values, bytes of the values when the client tells)."""
    start = time.perf_counter()
    done = subprocess.run([measure] + command, capture_output=True, check=False)
    wall = time.perf_counter() - start
    err = done.stderr.decode(errors="replace")
    usage = re.search(r"RUSAGE ([\d.]+) ([\d.]+) (\d+)\s*$", err)
    if done.returncode != 0 or not usage:
        sys.exit(f"{command[0]} failed ({done.returncode}): {err.strip()[:400]}")
    cpu = float(usage.group(1)) + float(usage.group(2))
    text = done.stdout.decode(errors="replace")
    found = re.search(r"VALUES (\d+) BYTES (\d+)", text)
    if found:
        values, held = int(found.group(1)), int(found.group(2))
    elif re.fullmatch(r"\s*\d+\s*", text):
        values, held = int(text), None
    else:
        values, held = text.count("\n"), None
    return cpu, wall, int(usage.group(3)), values, held


def summary(args, name, table_runs, one_runs):
    values = {r[3] for r in table_runs}
    if len(values) != 1:
        sys.exit(f"{name}: the table runs returned {sorted(values)} values")
    # A client that prints rows rather than values is told how many values they hold.
    count = args.values.get(name, values.pop())
    cpu_table = statistics.median(r[0] for r in table_runs)
    cpu_one = statistics.median(r[0] for r in one_runs)
    best_table = min(r[0] for r in table_runs)
    best_one = min(r[0] for r in one_runs)
    held = table_runs[0][4]
    return {
        "name": name,
        "values": count,
        "slope_us": (cpu_table - cpu_one) * 1e6 / max(count - 1, 1),
        "best_slope_us": (best_table - best_one) * 1e6 / max(count - 1, 1),
        "startup_ms": cpu_one * 1e3,
        "best_startup_ms": best_one * 1e3,
        "wall_ms": statistics.median(r[1] for r in table_runs) * 1e3,
        "best_wall_ms": min(r[1] for r in table_runs) * 1e3,
        "rss_mb": max(r[2] for r in table_runs) / 1024,
        "rss_growth_mb": (max(r[2] for r in table_runs) - max(r[2] for r in one_runs)) / 1024,
        "held_mb": held / 2**20 if held else None,
    }


def ratio(value, reference):
    return f"{value / reference:.2f}x" if reference else "-"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--measure", required=True, help="the measure program")
    parser.add_argument("--values", nargs=2, action="append", default=[], metavar=("NAME", "N"),
                        help="the number of values client NAME reads, when it prints rows")
    parser.add_argument("--client", nargs=3, action="append", metavar=("NAME", "TABLE", "ONE"),
                        required=True)
    parser.add_argument("--walk-reference", default="snmpbulkwalk -Of")
    parser.add_argument("--go-reference", default="gosnmp v2c")
    args = parser.parse_args()
    args.values = {name: int(count) for name, count in args.values}

    # Round by round, every client once in each: a machine whose speed drifts during the run
    # slows every client alike instead of the ones whose turn it was.
    runs = {name: ([], []) for name, _, _ in args.client}
    for round_number in range(1, args.runs + 1):
        print(f"  round {round_number} of {args.runs} ...", file=sys.stderr, flush=True)
        for name, table, one in args.client:
            runs[name][0].append(run(args.measure, shlex.split(table)))
            runs[name][1].append(run(args.measure, shlex.split(one)))
    rows = [summary(args, name, *runs[name]) for name, _, _ in args.client]
    by_name = {row["name"]: row for row in rows}
    walk = by_name.get(args.walk_reference)
    go = by_name.get(args.go_reference)

    print(f"| client | values | CPU per value (best) | start-up CPU (best) | wall, whole table "
          f"(best) | peak RSS (growth over 1 value; values held) | per value vs "
          f"{args.walk_reference} / {args.go_reference} | wall vs {args.walk_reference} / "
          f"{args.go_reference} |")
    print("|---|---|---|---|---|---|---|---|")
    for row in rows:
        held = f"; {row['held_mb']:.1f} MB held" if row["held_mb"] else ""
        print(f"| {row['name']} | {row['values']} | {row['slope_us']:.2f} µs "
              f"({row['best_slope_us']:.2f}) | {row['startup_ms']:.1f} ms "
              f"({row['best_startup_ms']:.1f}) | {row['wall_ms']:.0f} ms "
              f"({row['best_wall_ms']:.0f}) | {row['rss_mb']:.1f} MB "
              f"(+{row['rss_growth_mb']:.1f} MB{held}) | "
              f"{ratio(row['slope_us'], walk and walk['slope_us'])} / "
              f"{ratio(row['slope_us'], go and go['slope_us'])} | "
              f"{ratio(row['wall_ms'], walk and walk['wall_ms'])} / "
              f"{ratio(row['wall_ms'], go and go['wall_ms'])} |")


if __name__ == "__main__":
    main()
