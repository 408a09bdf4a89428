#!/usr/bin/env python3
"""Prints a key for each translation unit that changes whenever clang-tidy's verdict on it may change.

Usage: tidykeys.py BUILD_DIR UNIT...   (BUILD_DIR holds compile_commands.json; units relative to the repository)

A unit's key is the SHA-256 of the clang-tidy version, the versions of the Debian packages whose headers the
project includes, the .clang-tidy file, the unit's compile command (with the repository and build paths left out,
as CMake wrote them and with links resolved, so that every clone agrees) and the path relative to the repository
and content of the unit and of every file of the repository it includes, directly or not. Nothing of the machine
goes in: clang-tidy's "Host CPU" line names the processor it runs on, which does not change its verdict. Includes are followed as the preprocessor would, without
looking at conditions, so a key covers more files than the compiler reads, never fewer. Prints "KEY UNIT" per
line; a unit without a compile command gets the key "-", which never matches.
"""

import hashlib
import json
import pathlib
import re
import shlex
import subprocess
import sys

# The packages whose headers the project's code includes.
HEADER_PACKAGES = [
    "libc6-dev", "libstdc++-12-dev", "qt6-base-dev", "libssl-dev", "libjsoncpp-dev", "rapidjson-dev", "libisal-dev",
    "libdeflate-dev", "zlib1g-dev", "libgtest-dev", "libgmock-dev", "libbenchmark-dev",
]
INCLUDE = re.compile(rb'^\s*#\s*include\s*([<"])([^">]+)[">]', re.MULTILINE)


def include_dirs(arguments, directory):
    dirs = []
    for index, argument in enumerate(arguments):
        if argument == "-I" and index + 1 < len(arguments):
            dirs.append(arguments[index + 1])
        elif argument.startswith("-I") and len(argument) > 2:
            dirs.append(argument[2:])
    return [(pathlib.Path(directory) / d).resolve() for d in dirs]


def places(build, root, directory):
    """The spellings of the build and repository directories that a compile command may hold, with their names."""
    found = {(str(build), "<build>"), (str(root), "<root>"), (directory, "<build>")}
    cache = build / "CMakeCache.txt"
    # CMake keeps the source directory as it was given, through a link to it or not.
    for line in cache.read_text().splitlines() if cache.is_file() else []:
        if line.startswith("CMAKE_HOME_DIRECTORY:INTERNAL="):
            found.add((line.split("=", 1)[1], "<root>"))
    return found


def closure(unit, dirs, root):
    """The files of the repository that unit includes, directly or not, unit itself included."""
    found = {unit}
    pending = [unit]
    while pending:
        current = pending.pop()
        for kind, name in INCLUDE.findall(current.read_bytes()):
            candidates = ([current.parent] if kind == b'"' else []) + dirs
            for base in candidates:
                candidate = (base / name.decode()).resolve()
                if candidate.is_file():
                    if candidate.is_relative_to(root) and candidate not in found:
                        found.add(candidate)
                        pending.append(candidate)
                    break
    return found


def main():
    build = pathlib.Path(sys.argv[1]).resolve()
    root = pathlib.Path(__file__).resolve().parent.parent
    commands = {}
    for entry in json.loads((build / "compile_commands.json").read_text()):
        path = (pathlib.Path(entry["directory"]) / entry["file"]).resolve()
        arguments = entry.get("arguments") or shlex.split(entry["command"])
        commands[path] = (arguments, entry["directory"])
    common = hashlib.sha256()
    version = subprocess.run(["clang-tidy", "--version"], check=True, capture_output=True).stdout
    common.update(b"".join(line for line in version.splitlines(True) if not line.strip().startswith(b"Host CPU:")))
    versions = subprocess.run(["dpkg-query", "-W", *HEADER_PACKAGES], capture_output=True, check=False)
    common.update(versions.stdout + versions.stderr)
    common.update((root / ".clang-tidy").read_bytes())

    for name in sys.argv[2:]:
        unit = (root / name).resolve()
        if unit not in commands:
            print("-", name)
            continue
        arguments, directory = commands[unit]
        key = common.copy()
        command = " ".join(arguments)
        for spelling, placeholder in sorted(places(build, root, directory), key=lambda place: -len(place[0])):
            command = command.replace(spelling, placeholder)
        key.update(command.encode() + b"\0")
        for path in sorted(closure(unit, include_dirs(arguments, directory), root)):
            key.update(str(path.relative_to(root)).encode() + b"\0" + hashlib.sha256(path.read_bytes()).digest())
        print(key.hexdigest(), name)


if __name__ == "__main__":
    main()
