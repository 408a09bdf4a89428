#!/usr/bin/env python3
"""Times the operator forms of `keyutility decrypt` and its refusal of large hostile logs.

- batch: one command decrypting 16 logs of 16 MiB against 16 one-file runs (target: at most 0.6 x);
- stdout: `decrypt -o -` of a 128 MiB log into /dev/null against the file form (target: at most 1.3 x);
- hostile: a 40 MB log of one array nested 300 deep and ten million numbers, and a log whose key is padded with
  two million members (target: at most 2 s per 100 MB, peak RSS at most twice the file and 64 MiB).

Logs are generated (genlog.py) and encrypted with encryptlog for a fresh key pair. The two sides of each
comparison alternate within one run; outputs are removed before every run, outside the timing, and checked
against the plain log. Prints medians, minima, maxima, peak RSS and whether each target holds.

Usage: operator_benchmark.py BUILD_DIR [--runs N]
"""

import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time
import uuid

from decrypt_benchmark import digest

HERE = pathlib.Path(__file__).resolve().parent


def timed(command, cwd, stdout=subprocess.DEVNULL, expect_status=0):
    """Wall time in seconds and peak RSS in KiB of command, run under GNU time."""
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *map(str, command)], cwd=cwd, stdout=stdout,
                            stderr=subprocess.PIPE, text=True)
    elapsed = time.perf_counter() - start
    if result.returncode != expect_status:
        sys.exit(f"status {result.returncode}: {' '.join(map(str, command))}\n{result.stderr}")
    return elapsed, int(result.stderr.strip().splitlines()[-1])


def line(name, times, rss=None):
    text = (f"  {name:<14} median {statistics.median(times) * 1000:8.1f} ms   min {min(times) * 1000:8.1f}   "
            f"max {max(times) * 1000:8.1f}")
    return text + (f"   peak RSS {max(rss) / 1024:6.1f} MiB" if rss else "")


def compare(title, sides, runs, target):
    """Runs the two sides (name, prepare, command, check) alternately and prints the ratio of their medians."""
    times = {name: [] for name, *_ in sides}
    for run in range(runs):
        for name, prepare, command, check in (sides if run % 2 == 0 else sides[::-1]):
            prepare()
            times[name].append(command())
            check()
    ratio = statistics.median(times[sides[0][0]]) / statistics.median(times[sides[1][0]])
    print(title)
    for name, *_ in sides:
        print(line(name, times[name]))
    print(f"  ratio {ratio:.3f} (target <= {target}): {'met' if ratio <= target else 'MISSED'}")
    return ratio <= target


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    keyutility = build / "src/tools/keyutility/keyutility"
    encryptlog = build / "src/tools/encryptlog/encryptlog"

    all_met = True
    with tempfile.TemporaryDirectory() as scratch:
        def path(name):
            return os.path.join(scratch, name)

        def remove(*names):
            for name in names:
                if os.path.exists(path(name)):
                    os.remove(path(name))

        subprocess.run([keyutility, "create", str(uuid.uuid4())], cwd=scratch, check=True)
        key = "protocolkey-private.key"
        for size in (16, 128):
            with open(path(f"plain{size}"), "wb") as f:
                subprocess.run([sys.executable, HERE / "genlog.py", str(size << 20)], stdout=f, check=True)
        logs = [f"log{i:02}.json" for i in range(16)]
        for log in logs:
            subprocess.run([encryptlog, "protocolkey-public.key", "plain16", log], cwd=scratch, check=True)
        subprocess.run([encryptlog, "protocolkey-public.key", "plain128", "log128.json"], cwd=scratch, check=True)
        expected = {16: digest(path("plain16")), 128: digest(path("plain128"))}

        outputs = [log + ".decrypted" for log in logs]

        def check_batch():
            if any(digest(path(output)) != expected[16] for output in outputs):
                sys.exit("a batch output differs from the plain log")

        all_met &= compare(
            "16 logs of 16 MiB: one command against 16 one-file runs",
            [("one command", lambda: remove(*outputs),
              lambda: timed([keyutility, "decrypt", key, *logs], scratch)[0], check_batch),
             ("16 runs", lambda: remove(*outputs),
              lambda: sum(timed([keyutility, "decrypt", key, log], scratch)[0] for log in logs), check_batch)],
            args.runs, 0.6)

        def to_null():
            with open(os.devnull, "wb") as null:
                return timed([keyutility, "decrypt", "-o", "-", key, "log128.json"], scratch, stdout=null)[0]

        def check_file():
            if digest(path("log128.json.decrypted")) != expected[128]:
                sys.exit("the file output differs from the plain log")

        with open(path("stdout128"), "wb") as out:
            timed([keyutility, "decrypt", "-o", "-", key, "log128.json"], scratch, stdout=out)
        if digest(path("stdout128")) != expected[128]:
            sys.exit("standard output differs from the plain log")
        remove("stdout128")
        all_met &= compare(
            "128 MiB log: -o - into /dev/null against the file form",
            [("-o -", lambda: None, to_null, lambda: None),
             ("file", lambda: remove("log128.json.decrypted"),
              lambda: timed([keyutility, "decrypt", key, "log128.json"], scratch)[0], check_file)],
            args.runs, 1.3)

        hostile = {
            "deep_numbers.json": b'{"x":' + b"[" * 300 + b"123," * 9_999_999 + b"123" + b"]" * 300 + b"}",
            "padded_key.json": b'{"key":{' + b"".join(b'"%d":0,' % i for i in range(2_000_000))
            + b'"data":"","encryptedfor":{}},"logData":""}',
        }
        for name, text in hostile.items():
            with open(path(name), "wb") as f:
                f.write(text)
            results = [timed([keyutility, "decrypt", key, name], scratch, expect_status=1) for _ in range(args.runs)]
            times, rss = [t for t, _ in results], [r for _, r in results]
            size_mb = len(text) / 1e6
            time_ok = statistics.median(times) <= 2 * size_mb / 100
            rss_ok = max(rss) * 1024 <= 2 * len(text) + (64 << 20)
            all_met &= time_ok and rss_ok
            print(f"hostile {name} ({size_mb:.1f} MB), refused")
            print(line("decrypt", times, rss))
            print(f"  time target <= {2 * size_mb / 100 * 1000:.0f} ms, RSS target <= "
                  f"{(2 * len(text) + (64 << 20)) / 2**20:.0f} MiB: {'met' if time_ok and rss_ok else 'MISSED'}")
    return 0 if all_met else 1


if __name__ == "__main__":
    sys.exit(main())
