#!/usr/bin/env python3
"""Times `keyutility create` against `openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:4096`, alternating
the two, RUNS times each (4096-bit generation varies a lot from run to run, so at least 30). Both write their
keys to files in a scratch directory. Prints medians, minimum and maximum, and the ratio of the medians
(target: at most 1.1).

Usage: keygen_benchmark.py BUILD_DIR [--runs N]
"""

import argparse
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time
import uuid


def timed(command, cwd):
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()
    keyutility = pathlib.Path(args.build).resolve() / "src/tools/keyutility/keyutility"
    times = {"keyutility": [], "openssl": []}
    with tempfile.TemporaryDirectory() as scratch:
        ours = [str(keyutility), "create", str(uuid.uuid4())]
        theirs = ["openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:4096", "-out", "key.pem"]
        for run in range(args.runs):
            order = [("keyutility", ours), ("openssl", theirs)]
            for name, command in (order if run % 2 == 0 else order[::-1]):
                times[name].append(timed(command, scratch))
    for name, values in times.items():
        print(f"  {name:<11} median {statistics.median(values) * 1000:8.1f} ms   min {min(values) * 1000:8.1f}   "
              f"max {max(values) * 1000:8.1f}   ({len(values)} runs)")
    ratio = statistics.median(times["keyutility"]) / statistics.median(times["openssl"])
    print(f"  ratio {ratio:.3f} (target <= 1.1): {'met' if ratio <= 1.1 else 'MISSED'}")
    return 0 if ratio <= 1.1 else 1


if __name__ == "__main__":
    sys.exit(main())
