#!/usr/bin/env python3
"""An independent peer of the library, written with the openssl tool and Python's standard library only.

Direction 1: for a key pair made by `keyutility create`, build encrypted log files here from the format alone
and check that `keyutility decrypt` returns the exact bytes.
Direction 2: read what the library writes (key files, envelopes, signatures, encrypted log files from
`encryptlog`, block files from encryptBlock) with the openssl tool and check it byte for byte.

Usage: peer_test.py --keyutility PATH --encryptlog PATH --peerwriter PATH
"""

import argparse
import base64
import hashlib
import json
import os
import pathlib
import struct
import subprocess
import sys
import tempfile
import zlib

SERVER_UUID = "3b241101-e2bb-4255-8caf-4136c566a962"
OAEP = ["-pkeyopt", "rsa_padding_mode:oaep", "-pkeyopt", "rsa_oaep_md:sha1"]
# The vector of keys that store none with their data: a constant of the stored format.
FIXED_IVEC = bytes.fromhex("3a9c51e706b24df8")
BLOCK_SOURCE_SIZE = 4194304

failures = []


def check(condition, what):
    print(("ok      " if condition else "FAILED  ") + what)
    if not condition:
        failures.append(what)


def run(*command, data=None, cwd=None):
    result = subprocess.run(command, input=data, cwd=cwd, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError(f"{command[0]} {command[1]} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
    return result.stdout


def openssl(*arguments, data=None):
    return run("openssl", *arguments, data=data)


def compact(value):
    """The compact writer's text: members in ascending name order, no spaces, non-ASCII characters as \\u
    escapes, one final line feed."""
    return (json.dumps(value, sort_keys=True, separators=(",", ":")) + "\n").encode()


def styled(value, level=0):
    """The styled writer's text of key files: three-space indentation, "name" : value, a final line feed."""
    def text(v, lv):
        if isinstance(v, dict):
            names = sorted(v)
            members = "".join("   " * (lv + 1) + json.dumps(n) + " : " + text(v[n], lv + 1)
                              + ("," if i < len(names) - 1 else "") + "\n" for i, n in enumerate(names))
            return "{\n" + members + "   " * lv + "}"
        if isinstance(v, bool):
            return "true" if v else "false"
        return json.dumps(v)
    return (text(value, level) + "\n").encode()


def modulus_bytes(public_pem):
    modulus = openssl("rsa", "-RSAPublicKey_in", "-in", public_pem, "-noout", "-modulus").decode().strip()
    return len(modulus.split("=", 1)[1]) // 2


def oaep_encrypt(public_pem, text, k):
    """The RSA envelope's ciphertext: text in chunks of k - 42 bytes, each RSAES-OAEP (SHA-1) into k bytes."""
    blocks = [openssl("pkeyutl", "-encrypt", "-pubin", "-inkey", public_pem, *OAEP, data=text[i:i + k - 42])
              for i in range(0, len(text), k - 42)]
    assert all(len(block) == k for block in blocks)
    return b"".join(blocks)


def oaep_decrypt(private_pem, ciphertext, k):
    check(len(ciphertext) % k == 0, f"envelope ciphertext is a whole number of {k}-byte blocks")
    return b"".join(openssl("pkeyutl", "-decrypt", "-inkey", private_pem, *OAEP, data=ciphertext[i:i + k])
                    for i in range(0, len(ciphertext), k))


def cbc(direction, cipher, key, ivec, data):
    arguments = ["enc", direction, "-" + cipher, "-K", key.hex(), "-iv", ivec.hex()]
    if cipher == "bf-cbc":
        arguments += ["-provider", "legacy", "-provider", "default"]
    return openssl(*arguments, data=data)


def q_compress(plain):
    return struct.pack(">I", len(plain)) + zlib.compress(plain, 1)


def q_uncompress(compressed, what):
    check(len(compressed) > 4, f"{what}: compressed data has its 4-byte length")
    (length,) = struct.unpack(">I", compressed[:4])
    plain = zlib.decompress(compressed[4:])
    check(length == len(plain), f"{what}: the length header is the plain length ({length})")
    return plain


def encrypted_data(plain, cipher, key, ivec):
    """The encrypted data format: the whole random vector (nothing for the fixed one), then CBC of the compressed
    data; only the key's first 16 bytes and the vector's first bytes the cipher reads enter it."""
    return ivec + cbc("-e", cipher, key[:16], (ivec or FIXED_IVEC)[:16], q_compress(plain))


def log_file(public_pem, k, plain, key_length=16, compress_empty=False, cipher="aes-128-cbc"):
    """A log file for the protocol key; a "bf-cbc" key uses the fixed vector, as package keys do."""
    fixed = cipher == "bf-cbc"
    key = os.urandom(key_length)
    plain_key = {
        "cipherName": cipher,
        "fixedIvec": fixed,
        "identifier": {"keyType": "KeyTypeLogfileKey"},
        "key": base64.b64encode(key).decode(),
        "keyLengthInBytes": key_length,
    }
    text = compact(plain_key)
    envelope = {
        "data": base64.b64encode(oaep_encrypt(public_pem, text, k)).decode(),
        "encryptedfor": {"serverUUID": SERVER_UUID, "type": "protocol"},
    }
    ivec = b"" if fixed else os.urandom(key_length)
    data = encrypted_data(plain, cipher, key, ivec) if plain or compress_empty else b""
    document = {"key": envelope, "logData": base64.b64encode(data).decode()}
    return compact(document), (len(text) + k - 43) // (k - 42)


def pair_of_2048_bits(work):
    """A key file of the protocol actor for a 2048-bit pair made here with openssl, its public PEM and k."""
    private_pem, public_pem = work / "private-2048.pem", work / "public-2048.pem"
    openssl("genrsa", "-traditional", "-out", str(private_pem), "2048")
    openssl("rsa", "-in", str(private_pem), "-RSAPublicKey_out", "-out", str(public_pem))
    key_file = {"keyowner": {"serverUUID": SERVER_UUID, "type": "protocol"}, "privatekey": private_pem.read_text(),
                "publickey": public_pem.read_text(), "requirespassphrase": False}
    (work / "private-2048.key").write_bytes(styled(key_file))
    return "private-2048.key", str(public_pem), modulus_bytes(str(public_pem))


def direction_one(tools, work, private_pem, public_pem, k):
    print("-- direction 1: log files made here, decrypted by keyutility")
    protocol = ("protocolkey-private.key", public_pem, k)
    line = b"2026-12-08 12:00:00 INFO package 0f8fad5b stored in /srv/packages/17\n"
    big = b"".join(line.replace(b"17", str(i).encode()) for i in range(50000))
    big += hashlib.sha256(big).digest() * 2048  # and 64 KiB that compress badly
    cases = [
        ("empty log, no data", b"", {}, protocol),
        ("empty log, compressed", b"", {"compress_empty": True}, protocol),
        ("one-byte log", b"x", {}, protocol),
        (f"log of {len(big)} bytes", big, {}, protocol),
        ("log whose key needs two RSA blocks (400-byte key and vector)", line * 3, {"key_length": 400}, protocol),
        ("log under a 1024-byte bf-cbc key with the fixed vector", line * 300,
         {"cipher": "bf-cbc", "key_length": 1024}, protocol),
        ("log under a 1024-byte bf-cbc key for a 2048-bit pair", line * 300, {"cipher": "bf-cbc", "key_length": 1024},
         pair_of_2048_bits(work)),
    ]
    for name, plain, options, (key_file, public, size) in cases:
        document, blocks = log_file(public, size, plain, **options)
        path = work / "peer.log.json"
        path.write_bytes(document)
        output = pathlib.Path(str(path) + ".decrypted")
        if output.exists():
            output.unlink()
        result = subprocess.run([tools.keyutility, "decrypt", key_file, path.name], cwd=work, capture_output=True)
        check(result.returncode == 0 and result.stderr == b"",
              f"{name}: decrypt succeeds ({result.returncode}, {result.stderr!r})")
        check(output.exists() and output.read_bytes() == plain,
              f"{name}: exact bytes ({blocks} RSA block(s) of {size} bytes)")


def direction_two(tools, work, private_pem, public_pem, k):
    print("-- direction 2: what the library writes, read with openssl")
    private_file = json.loads((work / "protocolkey-private.key").read_bytes())
    public_file = json.loads((work / "protocolkey-public.key").read_bytes())
    owner = {"serverUUID": SERVER_UUID, "type": "protocol"}
    check(private_file == {"keyowner": owner, "privatekey": private_file["privatekey"],
                           "publickey": public_file["publickey"], "requirespassphrase": False},
          "private key file: its members and owner")
    check((work / "protocolkey-private.key").read_bytes() == styled(private_file), "private key file: styled layout")
    check((work / "protocolkey-public.key").read_bytes() == styled({"keyowner": owner,
                                                                    "publickey": public_file["publickey"]}),
          "public key file: members, owner and styled layout")
    check(openssl("rsa", "-in", private_pem, "-check", "-noout") == b"RSA key ok\n", "private key: openssl rsa -check")
    text = openssl("rsa", "-RSAPublicKey_in", "-in", public_pem, "-noout", "-text").decode()
    check(text.startswith("Public-Key: (4096 bit)") and "Exponent: 65537" in text, "public key: 4096 bits, e = 65537")
    check(openssl("rsa", "-in", private_pem, "-noout", "-modulus")
          == openssl("rsa", "-RSAPublicKey_in", "-in", public_pem, "-noout", "-modulus"), "the two files' moduli match")

    value = {"comment": "ä" + "long enough for two RSA blocks " * 20, "list": [1, -2, 3.5, True, None], "n": {}}
    (work / "value.json").write_bytes(compact(value))
    source = b"".join(b"block source line %d\n" % i for i in range(200000))[:BLOCK_SOURCE_SIZE + 300000]
    source += os.urandom(100000)
    (work / "source.bin").write_bytes(source)
    out = work / "written"
    out.mkdir()
    run(tools.peerwriter, str(work / "protocolkey-private.key"), str(work / "value.json"), str(work / "source.bin"),
        str(out))

    envelope = json.loads((out / "envelope.json").read_bytes())
    check(envelope["encryptedfor"] == owner, "envelope: encryptedfor is the owner")
    check(oaep_decrypt(private_pem, base64.b64decode(envelope["data"]), k) == compact(value),
          "envelope: openssl pkeyutl -decrypt, block by block, gives the compact text")

    signed = json.loads((out / "signed.json").read_bytes())
    check(signed["signedby"] == owner and base64.b64decode(signed["data"]) == compact(value),
          "signed object: signedby, and data is the Base64 of the compact text")
    (work / "signed.data").write_bytes(signed["data"].encode())
    (work / "signed.sig").write_bytes(base64.b64decode(signed["signature"]))
    check(openssl("dgst", "-sha1", "-verify", public_pem, "-signature", str(work / "signed.sig"),
                  str(work / "signed.data")) == b"Verified OK\n", "signature: openssl dgst -sha1 -verify over data")

    plain = source[:700000]
    (work / "plain.log").write_bytes(plain)
    run(tools.encryptlog, "protocolkey-public.key", "plain.log", "encrypted.json", cwd=work)
    document = json.loads((work / "encrypted.json").read_bytes())
    key_text = oaep_decrypt(private_pem, base64.b64decode(document["key"]["data"]), k)
    key = json.loads(key_text)
    check(key_text == compact(key) and key["cipherName"] == "aes-128-cbc" and key["keyLengthInBytes"] == 16
          and key["fixedIvec"] is False and key["identifier"] == {"keyType": "KeyTypeLogfileKey"},
          "encryptlog: the wrapped key is a compact aes-128-cbc log-file key")
    data = base64.b64decode(document["logData"])
    compressed = cbc("-d", "aes-128-cbc", base64.b64decode(key["key"]), data[:16], data[16:])
    check(q_uncompress(compressed, "encryptlog") == plain, "encryptlog: openssl enc -d, then length and zlib")

    keys = {name: json.loads((out / f"key-{name}.json").read_bytes()) for name in ("aes", "bf")}
    check(keys["bf"]["fixedIvec"] is True and keys["bf"]["keyLengthInBytes"] == 1024, "block key bf-cbc: 1024 bytes")
    descriptions = sorted(out.glob("block-*.json"))
    check(len(descriptions) == 8, f"eight block descriptions ({len(descriptions)})")
    for path in descriptions:
        block = json.loads(path.read_bytes())
        name = path.stem
        key = keys[name.split("-")[1]]
        stored = (out / block["blockid"]).read_bytes()
        check(block["size"] == len(stored) and block["checksum"] == hashlib.sha1(stored).hexdigest(),
              f"{name}: block file size and SHA-1 as described")
        key_bytes = base64.b64decode(key["key"])[:16]
        if key["fixedIvec"]:
            plain = cbc("-d", key["cipherName"], key_bytes, FIXED_IVEC, stored)
        else:
            length = key["keyLengthInBytes"]
            plain = cbc("-d", key["cipherName"], key_bytes, stored[:16], stored[length:])
        if not block["uncompressed"]:
            plain = q_uncompress(plain, name)
        offset = int(block["offset"])
        check(block["uncompressed"] == name.split("-")[2].startswith("stored"),
              f"{name}: stored {'uncompressed' if block['uncompressed'] else 'compressed'}")
        check(plain == source[offset:offset + BLOCK_SOURCE_SIZE], f"{name}: openssl enc -d gives the source range")


def main():
    parser = argparse.ArgumentParser()
    for tool in ("keyutility", "encryptlog", "peerwriter"):
        parser.add_argument("--" + tool, required=True)
    tools = parser.parse_args()
    for tool in ("keyutility", "encryptlog", "peerwriter"):
        setattr(tools, tool, os.path.abspath(getattr(tools, tool)))
    with tempfile.TemporaryDirectory() as directory:
        work = pathlib.Path(directory)
        run(tools.keyutility, "create", SERVER_UUID, cwd=work)
        private_pem, public_pem = str(work / "private.pem"), str(work / "public.pem")
        pathlib.Path(private_pem).write_text(json.loads((work / "protocolkey-private.key").read_bytes())["privatekey"])
        pathlib.Path(public_pem).write_text(json.loads((work / "protocolkey-public.key").read_bytes())["publickey"])
        k = modulus_bytes(public_pem)
        direction_one(tools, work, private_pem, public_pem, k)
        direction_two(tools, work, private_pem, public_pem, k)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
