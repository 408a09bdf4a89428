#!/usr/bin/env python3
"""Writes protocol-protected.key: the protocol pair of this directory with its private key protected by the
pass phrase "correct horse", made with Python's standard library and the openssl command-line tool only.

The protected form: the key is the SHA-1 digest of the pass phrase's Latin-1 bytes (the cipher uses its first
16 bytes); the PEM text is compressed as a 4-byte big-endian length followed by a zlib stream, encrypted with
AES-128-CBC and PKCS#7 padding under a random 16-byte vector, and stored as Base64 of vector + ciphertext.

Run from anywhere after make_keys.py: python3 tests/data/keys/make_protected_key.py
"""

import base64
import hashlib
import os
import struct
import subprocess
import zlib

from make_keys import ACTORS, HERE, styled

PASS_PHRASE = "correct horse"


def protect(pem, pass_phrase):
    key = hashlib.sha1(pass_phrase.encode("latin-1")).digest()[:16]
    vector = os.urandom(16)
    compressed = struct.pack(">I", len(pem)) + zlib.compress(pem, 1)
    ciphertext = subprocess.run(
        ["openssl", "enc", "-aes-128-cbc", "-K", key.hex(), "-iv", vector.hex()],
        input=compressed, check=True, capture_output=True).stdout
    return base64.b64encode(vector + ciphertext).decode("ascii")


def main():
    private_pem = (HERE / "protocol-private.pem").read_bytes()
    public_pem = (HERE / "protocol-public.pem").read_text()
    (HERE / "protocol-protected.key").write_text(styled({
        "keyowner": ACTORS["protocol"],
        "privatekey": protect(private_pem, PASS_PHRASE),
        "publickey": public_pem,
        "requirespassphrase": True,
    }))


if __name__ == "__main__":
    main()
