#!/usr/bin/env python3
"""Times `keyutility decrypt` of one log linked with the shared library against the same tool linked with the
static one (a build configured with -DREVERIZ_STATIC_TOOLS=ON), alternating the two, and checks both outputs
byte for byte. Prints the medians and their ratio, shared over static; the target is at most 1.05.

Usage: linkage_benchmark.py SHARED_BUILD_DIR STATIC_BUILD_DIR [--runs N] [--size MIB]
"""

import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import uuid

from decrypt_benchmark import HERE, digest, summary, timed

TARGET_RATIO = 1.05


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("shared")
    parser.add_argument("static")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size", type=int, default=128)
    args = parser.parse_args()
    tools = {name: pathlib.Path(build).resolve() / "src/tools/keyutility/keyutility"
             for name, build in (("shared", args.shared), ("static", args.static))}
    linked = {name: "libreveriz.so" in subprocess.run(["ldd", tool], capture_output=True, text=True).stdout
              for name, tool in tools.items()}
    if linked != {"shared": True, "static": False}:
        sys.exit(f"the first keyutility must load libreveriz.so, the second not: {linked}")
    encryptlog = pathlib.Path(args.shared).resolve() / "src/tools/encryptlog/encryptlog"

    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([tools["shared"], "create", str(uuid.uuid4())], cwd=scratch, check=True)
        plain = os.path.join(scratch, "log")
        with open(plain, "wb") as f:
            subprocess.run([sys.executable, HERE / "genlog.py", str(args.size << 20)], stdout=f, check=True)
        subprocess.run([encryptlog, "protocolkey-public.key", plain, "log.json"], cwd=scratch, check=True)
        expected = digest(plain)
        output = os.path.join(scratch, "log.json.decrypted")
        results = {name: ([], []) for name in tools}
        for run in range(args.runs):
            for name in (("shared", "static") if run % 2 == 0 else ("static", "shared")):
                if os.path.exists(output):
                    os.remove(output)
                elapsed, rss = timed([str(tools[name]), "decrypt", "protocolkey-private.key", "log.json"], scratch)
                if digest(output) != expected:
                    sys.exit(f"the {name} keyutility's output differs from the plain log")
                results[name][0].append(elapsed)
                results[name][1].append(rss)
    ratio = statistics.median(results["shared"][0]) / statistics.median(results["static"][0])
    print(f"{args.size} MiB log, {args.runs} runs each, outputs equal the plain log")
    for name in tools:
        print(summary(name, *results[name]))
    print(f"  ratio shared/static {ratio:.3f} (target <= {TARGET_RATIO}): {'met' if ratio <= TARGET_RATIO else 'MISSED'}")
    return 0 if ratio <= TARGET_RATIO else 1


if __name__ == "__main__":
    sys.exit(main())
