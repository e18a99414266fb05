"""Turns the "SERVER ROUND FIGURE VALUE" lines of bench/scenario.sh into the benchmark table.

Every cell is the median over the rounds, followed by the spread of the rounds as
+-(max - min) / 2 / median. Ratios are Harnow's median over the peer's median.
"""
import argparse
import datetime
import os
import platform
import statistics
import subprocess
from collections import defaultdict

# (label, figure, scale, target) where target is (peer, ratio, "min" or "max") for a ratio
# target, (None, limit, "max") for an absolute one, or None.
ROWS = [
    ("1 KiB req/s (50 conns)", "small_rps", 1, ("nginx", 1.0, "min")),
    ("1 KiB p50 ms", "small_p50_ms", 1, None),
    ("1 KiB p99 ms", "small_p99_ms", 1, ("nginx", 1.0, "max")),
    ("1 KiB max ms", "small_max_ms", 1, None),
    ("1 KiB server CPU µs/request", "small_cpu_us", 1, None),
    ("100 KiB req/s (50 conns)", "medium_rps", 1, ("nginx", 0.7, "min")),
    ("100 KiB p50 ms", "medium_p50_ms", 1, None),
    ("100 KiB p99 ms", "medium_p99_ms", 1, None),
    ("100 KiB max ms", "medium_max_ms", 1, None),
    ("100 KiB server CPU µs/request", "medium_cpu_us", 1, None),
    ("256 MiB download MB/s", "large_mbps", 1, ("nginx", 0.45, "min")),
    ("256 MiB server CPU ms/download", "large_cpu_us", 1 / 1000, None),
    ("range last MiB p50 ms", "range_p50_ms", 1, None),
    ("listing 1000 files req/s", "listing_rps", 1, None),
    ("listing p99 ms", "listing_p99_ms", 1, None),
    ("listing max ms", "listing_max_ms", 1, None),
    ("RSS idle MiB", "rss_idle_kib", 1 / 1024, (None, 4, "max")),
    ("RSS 500 idle conns MiB", "rss_held_kib", 1 / 1024, (None, 16, "max")),
    ("RSS after the load MiB", "rss_after_kib", 1 / 1024, None),
    ("threads idle", "threads_idle", 1, None),
    ("threads with 500 conns", "threads_held", 1, None),
    ("connections held", "held", 1, None),
    ("seconds to open 500 conns", "hold_ms", 1 / 1000, None),
]
ERROR_FIGURES = ["small_errors", "medium_errors", "large_errors", "range_errors", "listing_errors"]


def number(value):
    if value >= 1000:
        return f"{value:.0f}"
    if value >= 100:
        return f"{value:.1f}"
    if value >= 10:
        return f"{value:.2f}"
    return f"{value:.3f}"


def cell(values, rounds):
    if not values:
        return "-"
    median = statistics.median(values)
    text = number(median)
    if len(values) >= 2 and median != 0:
        text += f" ±{(max(values) - min(values)) / 2 / median * 100:.0f}%"
    if len(values) < rounds:
        text += f" ({len(values)} of {rounds} rounds)"
    return text


def machine():
    model = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
        with open("/proc/meminfo") as f:
            memory = int(f.readline().split()[1]) / 1024 / 1024
    except OSError:
        memory = 0
    return f"{os.cpu_count()} cores {model}, {memory:.0f} GiB, Linux {platform.release()}"


def version(command):
    try:
        out = subprocess.run(command, capture_output=True, text=True, timeout=10)
        return (out.stdout + out.stderr).strip().splitlines()[0]
    except (OSError, IndexError, subprocess.SubprocessError):
        return "?"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("results")
    parser.add_argument("--rounds", default="?")
    parser.add_argument("--seconds", default="?")
    parser.add_argument("--load", default="?")
    parser.add_argument("--elapsed", default="?")
    args = parser.parse_args()

    data = defaultdict(lambda: defaultdict(list))
    servers = []
    with open(args.results) as f:
        for line in f:
            parts = line.split()
            if len(parts) != 4:
                continue
            server, _, figure, value = parts
            if server not in servers:
                servers.append(server)
            data[server][figure].append(float(value))
    # Ratios need Harnow in the run (BENCH_SERVERS may name only some servers).
    peers = [s for s in servers if s != "harnow"] if "harnow" in servers else []
    medians = {s: {k: statistics.median(v) for k, v in data[s].items()} for s in servers}

    commit = version(["git", "-C", os.path.dirname(os.path.abspath(__file__)), "log", "-1",
                      "--format=%h %s"])
    print(f"Harnow benchmark, {datetime.date.today()}, commit {commit}")
    print(f"machine: {machine()}; load average at start {args.load}")
    print(f"peers: {version(['nginx', '-v'])}; {version(['lighttpd', '-v'])}")
    print(f"{args.rounds} rounds, load runs of {args.seconds} s; cells: median ±half the "
          f"min-max spread; whole run {args.elapsed} s")
    print()

    header = ["figure"] + servers + [f"harnow/{p}" for p in peers] + ["target"]
    rows = []
    for label, figure, scale, target in ROWS:
        row = [label]
        for s in servers:
            rounds = max(len(v) for v in data[s].values())
            row.append(cell([v * scale for v in data[s].get(figure, [])], rounds))
        for p in peers:
            h, q = medians["harnow"].get(figure), medians[p].get(figure)
            row.append(f"{h / q:.2f}x" if h is not None and q else "-")
        verdict = ""
        h = medians.get("harnow", {}).get(figure)
        if target and h is not None:
            peer, limit, kind = target
            if peer is None:
                value, text = h * scale, f"<= {limit} MiB"
            elif peer in medians and medians[peer].get(figure):
                value, text = h / medians[peer][figure], f"{'>=' if kind == 'min' else '<='} " \
                                                        f"{limit}x {peer}"
            else:
                value = None
            if value is not None:
                met = value >= limit if kind == "min" else value <= limit
                verdict = f"{text}: {'met' if met else 'MISSED'}"
        row.append(verdict)
        rows.append(row)
    errors = ["errors in all runs"]
    for s in servers:
        errors.append(str(int(sum(sum(data[s].get(f, [])) for f in ERROR_FIGURES))))
    rows.append(errors + [""] * (len(header) - len(errors)))

    widths = [max(len(r[i]) for r in [header] + rows) for i in range(len(header))]
    for r in [header] + rows:
        print("  ".join(c.ljust(w) if i == 0 else c.rjust(w) if i < len(r) - 1 else c
                        for i, (c, w) in enumerate(zip(r, widths))).rstrip())


if __name__ == "__main__":
    main()
