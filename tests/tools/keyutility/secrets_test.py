#!/usr/bin/env python3
"""What the tools leave of their secrets.

1. Each command runs to its end under gdb, which takes a core image as the process calls exit_group; the image
   must hold no copy of the private key's PEM body, its private exponent, the log key (raw and Base64) or the
   pass phrase (UTF-8 and UTF-16).
2. At the terminal prompt, in a pseudo-terminal, the phrase is never echoed, also when it is typed after ^Z
   and a continue.
3. A decrypt killed by SIGSEGV under `ulimit -c unlimited` leaves no core file.

Usage: secrets_test.py --keyutility PATH --data DIRECTORY (tests/data/keys) [--no-images]
"""

import argparse
import base64
import json
import os
import pathlib
import pty
import re
import resource
import select
import shutil
import signal
import subprocess
import sys
import termios
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "peer"))
import peer_test  # noqa: E402  the independent writer of the formats
from peer_test import check, compact, encrypted_data, oaep_encrypt, openssl  # noqa: E402

PASS_PHRASE = "correct horse"


def log_with_key(public_pem, k, key):
    """An encrypted log file for the protocol key whose log key is key."""
    plain_key = {"cipherName": "aes-128-cbc", "fixedIvec": False, "identifier": {"keyType": "KeyTypeLogfileKey"},
                 "key": base64.b64encode(key).decode(), "keyLengthInBytes": len(key)}
    envelope = {"data": base64.b64encode(oaep_encrypt(public_pem, compact(plain_key), k)).decode(),
                "encryptedfor": {"serverUUID": peer_test.SERVER_UUID, "type": "protocol"}}
    data = encrypted_data(b"a day of the server's log\n", "aes-128-cbc", key, os.urandom(len(key)))
    return compact({"key": envelope, "logData": base64.b64encode(data).decode()})


def secrets_of(private_pem_text, log_key):
    """The byte strings that must not be in an image, each with its name."""
    body = [line for line in private_pem_text.splitlines() if line and not line.startswith("-----")]
    found = {f"PEM body line {i + 1}": line.encode() for i, line in enumerate(body)}
    text = openssl("rsa", "-in", "/dev/stdin", "-noout", "-text", data=private_pem_text.encode()).decode()
    exponent = re.search(r"privateExponent:\n((?:\s+[0-9a-f:]+\n)+)", text).group(1)
    d = bytes.fromhex(re.sub(r"[\s:]", "", exponent)).lstrip(b"\0")
    # 32 bytes of d as OpenSSL's numbers hold it (little-endian words) and as big-endian bytes and hex text.
    found["private exponent, big-endian"] = d[8:40]
    found["private exponent, little-endian"] = d[::-1][8:40]
    found["private exponent, hex"] = d[8:40].hex().encode()
    found["private exponent, HEX"] = d[8:40].hex().upper().encode()
    if log_key:
        found["log key"] = log_key
        found["log key, Base64"] = base64.b64encode(log_key)
    found["pass phrase, UTF-8"] = PASS_PHRASE.encode()
    found["pass phrase, UTF-16"] = PASS_PHRASE.encode("utf-16-le")
    return found


def image_at_exit(work, arguments):
    """The core image of keyutility ARGUMENTS taken under gdb as it calls exit_group, and its exit status."""
    core = work / "image"
    core.unlink(missing_ok=True)
    result = subprocess.run(
        ["gdb", "-nx", "-batch", "-ex", "set pagination off", "-ex", "catch syscall exit_group", "-ex", "run",
         "-ex", f"gcore {core}",
         "-ex", r'printf "dumpable %d\n", ((int (*)(int, ...))prctl)(3)', "-ex", "continue", "--args", *arguments],
        cwd=work, stdin=subprocess.DEVNULL, capture_output=True, start_new_session=True)
    exited = re.search(rb"\[Inferior 1 \(process \d+\) exited (?:normally|with code (\d+))\]", result.stdout)
    status = int(exited.group(1) or b"0") if exited else None
    dumpable = re.search(rb"^dumpable (\d+)$", result.stdout, re.MULTILINE)
    return (core.read_bytes() if core.exists() else None), status, dumpable and int(dumpable.group(1)), \
        result.stdout + result.stderr


def prepare(work, data):
    """The key files, a pass phrase file and a log in work; returns the log key."""
    public_pem = str(data / "protocol-public.pem")
    log_key = os.urandom(16)
    (work / "day.json").write_bytes(log_with_key(public_pem, peer_test.modulus_bytes(public_pem), log_key))
    (work / "pass").write_text(PASS_PHRASE + "\n")
    (work / "pass").chmod(0o600)
    for name in ("protocol-private.key", "protocol-protected.key", "user-public.key"):
        shutil.copy(data / name, work / name)
    return log_key


def no_secret_at_exit(keyutility, work, log_key):
    private_key = json.loads((work / "protocol-private.key").read_text())["privatekey"]

    commands = [
        ("decrypt", ["decrypt", "protocol-private.key", "day.json"]),
        ("decrypt, protected key", ["decrypt", "--passphrase-file", "pass", "protocol-protected.key", "day.json"]),
        ("decrypt -o -", ["decrypt", "-o", "-", "--passphrase-file", "pass", "protocol-protected.key", "day.json"]),
        ("rewrap", ["rewrap", "--passphrase-file", "pass", "protocol-protected.key", "user-public.key", "day.json",
                    "rewrapped.json"]),
        ("create", ["create", peer_test.SERVER_UUID]),
    ]
    for name, arguments in commands:
        image, status, dumpable, output = image_at_exit(work, [keyutility, *arguments])
        check(image is not None and status == 0, f"{name}: runs to its end under gdb with an image taken")
        check(dumpable == 0, f"{name}: the process is not dumpable (PR_GET_DUMPABLE {dumpable})")
        if image is None:
            print(output.decode(errors="replace"))
            continue
        pem = private_key
        if name == "create":
            pem = json.loads((work / "protocolkey-private.key").read_text())["privatekey"]
        for what, secret in secrets_of(pem, None if name == "create" else log_key).items():
            check(image.find(secret) < 0, f"{name}: no {what} in the image at exit")


def at_prompt(keyutility, work, core_limit=0):
    """keyutility decrypt of the protected key in a pseudo-terminal, in a foreground job of its own (as a shell
    starts it, so that ^Z stops it); returns the pty's master, the pid of the job's shell and of keyutility."""
    shell, master = pty.fork()
    if shell == 0:
        job = os.fork()
        if job == 0:
            os.setpgid(0, 0)
            signal.signal(signal.SIGTTOU, signal.SIG_IGN)  # a job in the background takes the terminal as shells do
            os.tcsetpgrp(0, os.getpid())
            signal.signal(signal.SIGTTOU, signal.SIG_DFL)
            resource.setrlimit(resource.RLIMIT_CORE, (core_limit, core_limit))
            os.chdir(work)
            # A crash is the kernel's to handle, also in a sanitizer build.
            os.environ["ASAN_OPTIONS"] = os.environ.get("ASAN_OPTIONS", "") + ":handle_segv=0"
            os.execv(keyutility, [keyutility, "decrypt", "protocol-protected.key", "day.json"])
        os.setpgid(job, job)
        while True:  # the job's shell stays while its job is stopped, and tells how the job ended
            _, status = os.waitpid(job, os.WUNTRACED)
            if not os.WIFSTOPPED(status):
                os._exit(128 + os.WTERMSIG(status) if os.WIFSIGNALED(status) else os.WEXITSTATUS(status))
    screen = read_until(master, b"Pass phrase for protocol-protected.key: ")
    job = int(pathlib.Path(f"/proc/{shell}/task/{shell}/children").read_text().split()[0])
    return master, shell, job, screen


def read_until(master, wanted=None, timeout=10):
    """What the terminal shows until it shows wanted, or without wanted until the program closes it."""
    shown = b""
    deadline = time.monotonic() + timeout
    while (wanted is None or wanted not in shown) and time.monotonic() < deadline:
        if select.select([master], [], [], 0.1)[0]:
            try:
                piece = os.read(master, 4096)
            except OSError:  # EIO: the program has gone
                break
            if not piece:
                break
            shown += piece
    return shown


def echoes(master):
    return bool(termios.tcgetattr(master)[3] & termios.ECHO)


def state(pid):
    return pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]


def never_echoed(keyutility, work):
    """Part of the phrase, ^Z, the job continued (as fg does), the whole phrase: none of it is on the screen."""
    master, shell, job, screen = at_prompt(keyutility, work)
    check(not echoes(master), "prompt: echo is off")
    os.write(master, PASS_PHRASE[:7].encode())
    time.sleep(0.2)
    os.write(master, b"\x1a")  # ^Z
    deadline = time.monotonic() + 10
    while state(job) != "T" and time.monotonic() < deadline:
        time.sleep(0.01)
    check(state(job) == "T", "^Z stops the prompt")
    check(echoes(master), "while stopped, the terminal echoes again")
    settings = termios.tcgetattr(master)
    settings[3] |= termios.ECHO  # as a shell leaves it, whatever the job had set
    termios.tcsetattr(master, termios.TCSANOW, settings)
    os.killpg(job, signal.SIGCONT)
    screen += read_until(master, b"Pass phrase for protocol-protected.key: ")
    check(screen.count(b"Pass phrase for") == 2, "continued, the prompt is shown again")
    check(not echoes(master), "continued, echo is off again")
    os.write(master, PASS_PHRASE.encode() + b"\n")
    screen += read_until(master, timeout=30)
    _, status = os.waitpid(shell, 0)
    check(os.WEXITSTATUS(status) == 0, f"the phrase typed after the stop unlocks the key (status {status}, {screen!r})")
    check(b"correct" not in screen and b"horse" not in screen, f"the phrase is never on the screen: {screen!r}")
    check(echoes(master), "at the end, the terminal echoes again")
    os.close(master)


def no_core_file(keyutility, work):
    """A decrypt waiting at its prompt with RLIMIT_CORE unlimited is sent SIGSEGV: no core file appears in its
    working directory (core_pattern may hand cores to a program instead; RLIMIT_CORE 0 stops those too)."""
    print("core_pattern: " + pathlib.Path("/proc/sys/kernel/core_pattern").read_text().strip())
    master, shell, job, _ = at_prompt(keyutility, work, resource.RLIM_INFINITY)
    limits = pathlib.Path(f"/proc/{job}/limits").read_text()
    check(re.search(r"Max core file size\s+0\s+0", limits) is not None, "a waiting decrypt has RLIMIT_CORE 0")
    os.kill(job, signal.SIGSEGV)
    _, status = os.waitpid(shell, 0)
    check(os.WEXITSTATUS(status) == 128 + signal.SIGSEGV, f"decrypt died of SIGSEGV (status {status})")
    os.close(master)
    leftovers = [p.name for p in work.iterdir() if p.name.startswith("core")]
    check(not leftovers, f"no core file in the working directory {leftovers}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--keyutility", required=True)
    parser.add_argument("--data", required=True)
    # A sanitizer build keeps its own allocator, which the tools' wiping one gives way to, and its images are huge.
    parser.add_argument("--no-images", action="store_true")
    arguments = parser.parse_args()
    with tempfile.TemporaryDirectory() as directory:
        work = pathlib.Path(directory)
        keyutility = os.path.abspath(arguments.keyutility)
        log_key = prepare(work, pathlib.Path(arguments.data))
        if arguments.no_images:
            print("no image checks in a sanitizer build")
        elif shutil.which("gdb") is None:
            print("SKIPPED: no gdb to take core images at exit; install gdb to run the image checks")
        else:
            no_secret_at_exit(keyutility, work, log_key)
        never_echoed(keyutility, work)
        no_core_file(keyutility, work)
    if peer_test.failures:
        print(f"{len(peer_test.failures)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
