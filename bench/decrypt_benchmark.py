#!/usr/bin/env python3
"""Times `keyutility decrypt` against the standard-tools pipeline (pipeline_decrypt.sh) on the same encrypted
log files, alternating the two within one run, and checks both outputs byte for byte.

For each size it generates a deterministic log (genlog.py), encrypts it for a fresh key pair with encryptlog,
and runs each side RUNS times (which side goes first alternates). Earlier outputs are removed before every
run, outside the timing, so neither side pays for dropping a large earlier file. It prints the median, minimum
and maximum wall time, each side's largest peak RSS (GNU time's maximum resident set size), the ratio of the
medians, and whether the targets hold: at most 0.2 x the pipeline's time for 128 MiB, 0.25 x for 16 MiB, and
at most 40 MiB peak RSS for keyutility.

Usage: decrypt_benchmark.py BUILD_DIR [--runs N] [--sizes 16,128]
"""

import argparse
import hashlib
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import uuid

HERE = pathlib.Path(__file__).resolve().parent
TARGET_RATIO = {16: 0.25, 128: 0.2}
TARGET_RSS_MIB = 40


def timed(command, cwd):
    """Wall time in seconds and peak RSS in KiB of command, run under GNU time."""
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *command], cwd=cwd, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"failed: {' '.join(command)}\n{result.stderr}")
    return elapsed, int(result.stderr.strip().splitlines()[-1])


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(1 << 20):
            h.update(chunk)
    return h.hexdigest()


def summary(name, times, rss):
    return (f"  {name:<11} median {statistics.median(times) * 1000:8.1f} ms   min {min(times) * 1000:8.1f}   "
            f"max {max(times) * 1000:8.1f}   peak RSS {max(rss) / 1024:6.1f} MiB")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--sizes", default="16,128")
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    keyutility = build / "src/tools/keyutility/keyutility"
    encryptlog = build / "src/tools/encryptlog/encryptlog"
    for tool in ("jq", "openssl", "zlib-flate", "base64"):
        if not shutil.which(tool):
            sys.exit(f"{tool} not found")

    all_met = True
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([keyutility, "create", str(uuid.uuid4())], cwd=scratch, check=True)
        for size in (int(s) for s in args.sizes.split(",")):
            plain = os.path.join(scratch, f"log{size}")
            with open(plain, "wb") as f:
                subprocess.run([sys.executable, HERE / "genlog.py", str(size << 20)], stdout=f, check=True)
            log = f"log{size}.json"
            subprocess.run([encryptlog, "protocolkey-public.key", plain, log], cwd=scratch, check=True)
            expected = digest(plain)
            ours = [keyutility, "decrypt", "protocolkey-private.key", log]
            pipeline = [HERE / "pipeline_decrypt.sh", "protocolkey-private.key", log, log + ".pipeline"]
            results = {"keyutility": ([], []), "pipeline": ([], [])}
            for run in range(args.runs):
                order = [("keyutility", ours, log + ".decrypted"), ("pipeline", pipeline, log + ".pipeline")]
                for name, command, output in (order if run % 2 == 0 else order[::-1]):
                    out = os.path.join(scratch, output)
                    if os.path.exists(out):
                        os.remove(out)
                    elapsed, rss = timed([str(c) for c in command], scratch)
                    if digest(out) != expected:
                        sys.exit(f"{name} output differs from the plain log ({size} MiB)")
                    results[name][0].append(elapsed)
                    results[name][1].append(rss)
            ratio = statistics.median(results["keyutility"][0]) / statistics.median(results["pipeline"][0])
            rss_mib = max(results["keyutility"][1]) / 1024
            met = ratio <= TARGET_RATIO.get(size, 1) and rss_mib <= TARGET_RSS_MIB
            all_met &= met
            print(f"{size} MiB log ({os.path.getsize(os.path.join(scratch, log)) / 2**20:.1f} MiB encrypted), "
                  f"{args.runs} runs each, outputs equal the plain log")
            print(summary("keyutility", *results["keyutility"]))
            print(summary("pipeline", *results["pipeline"]))
            print(f"  ratio {ratio:.3f} (target <= {TARGET_RATIO.get(size, 1)}), keyutility peak RSS {rss_mib:.1f} MiB "
                  f"(target <= {TARGET_RSS_MIB}): {'met' if met else 'MISSED'}")
    return 0 if all_met else 1


if __name__ == "__main__":
    sys.exit(main())
