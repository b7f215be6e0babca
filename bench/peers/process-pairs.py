#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Whole processes side by side: runs command A and command B in turn, N pairs after one
# warm-up pair, and prints for each the median wall time, CPU time (user + system) and peak
# resident memory of one process, then the ratios B / A. Each child is timed from its start
# to its reaping, its CPU time is the kernel's accounting of that child (wait4). Its peak
# memory is measured in a run of its own under GNU time: a child started from this script
# would count this script's memory as its own peak (the kernel carries the high-water mark
# across exec).
# usage: process-pairs.py N LABEL_A LABEL_B -- A... -- B...
import os
import statistics
import subprocess
import sys
import tempfile
import time


def run(argv):
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"process-pairs: {' '.join(argv)} exited with status {child.returncode}")
    return wall * 1000, (usage.ru_utime + usage.ru_stime) * 1000


def peak_mib(argv):
    with tempfile.NamedTemporaryFile("r") as out:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out.name] + argv, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return int(out.read().split()[-1]) / 1024


def main():
    args = sys.argv[1:]
    if len(args) < 6 or args[3] != "--" or "--" not in args[4:]:
        sys.exit(__doc__ or "usage: process-pairs.py N LABEL_A LABEL_B -- A... -- B...")
    pairs, label_a, label_b = int(args[0]), args[1], args[2]
    split = args.index("--", 4)
    a, b = args[4:split], args[split + 1:]
    run(a)
    run(b)
    results = {label_a: [], label_b: []}
    for _ in range(pairs):
        results[label_a].append(run(a) + (peak_mib(a),))
        results[label_b].append(run(b) + (peak_mib(b),))
    medians = {}
    for label, rows in results.items():
        medians[label] = [statistics.median(column) for column in zip(*rows)]
        wall, cpu, rss = medians[label]
        print(f"  {label:<34} wall {wall:7.2f} ms   cpu {cpu:7.2f} ms   peak {rss:6.1f} MiB")
    ratios = [x / y if y else float("inf") for x, y in zip(medians[label_b], medians[label_a])]
    print(f"  ratio {label_b} / {label_a}: wall {ratios[0]:.2f}x, cpu {ratios[1]:.2f}x, "
          f"peak memory {ratios[2]:.2f}x  (medians of {pairs} pairs)")


if __name__ == "__main__":
    main()
