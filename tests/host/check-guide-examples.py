#!/usr/bin/env python3
"""Runs the guide's examples marked <!-- checked --> and compares what velmor-pack
prints with what the guide shows, so that sizes and messages cannot go stale.

  check-guide-examples.py GUIDE VELMOR_PACK SCRATCH

The blocks run in order in one scratch folder. `$ cat FILE` writes FILE with the lines
shown; `$ ls -R DIR` makes the files listed (a program holds "MZ", any other file one
byte); `$ velmor-pack ...` runs, its continuation lines included. A line "..." in the
shown output stands for any lines; date-times are compared as such, not by value. A
certificate named by --cert is made first, for the subject the example shows.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys

TIME = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d")


def checked_blocks(guide):
    blocks, block, marked = [], None, False
    for number, line in enumerate(open(guide, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if block is not None:
            if line.startswith("```"):
                blocks.append(block)
                block = None
            else:
                block.append((number, line))
        elif line.strip() == "<!-- checked -->":
            marked = True
        elif line.startswith("```console") and marked:
            block, marked = [], False
    return blocks


def steps(block):
    """(line number, command, shown output lines) for each $ line of a block."""
    result = []
    for number, line in block:
        if line.startswith("$ "):
            result.append([number, line[2:], []])
        elif result and result[-1][1].endswith("\\"):
            result[-1][1] = result[-1][1][:-1] + " " + line.strip()
        elif result:
            result[-1][2].append(line)
    return result


def matches(shown, printed):
    shown = [TIME.sub("TIME", line).rstrip() for line in shown]
    printed = [TIME.sub("TIME", line).rstrip() for line in printed]

    def at(i, j):
        if i == len(shown):
            return j == len(printed)
        if shown[i] == "...":
            return any(at(i + 1, k) for k in range(j, len(printed) + 1))
        return j < len(printed) and shown[i] == printed[j] and at(i + 1, j + 1)

    return at(0, 0)


def make_listed_files(listing):
    folder = None
    for line in listing:
        if line.endswith(":"):
            folder = line[:-1]
            os.makedirs(folder, exist_ok=True)
        elif line and folder:
            for name in line.split():
                path = os.path.join(folder, name)
                if "." in name and not os.path.exists(path):
                    with open(path, "wb") as f:
                        f.write(b"MZ" if name.endswith(".exe") else b"x")


def make_certificate(arguments, subject_line):
    cert = arguments[arguments.index("--cert") + 1]
    key = arguments[arguments.index("--key") + 1]
    subject = "/" + "/".join(part.strip() for part in subject_line.split(",")) if subject_line else "/CN=Example"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-set_serial", "1", "-days", "365",
                    "-subj", subject, "-keyout", key, "-out", cert], check=True, capture_output=True)


def main():
    guide, pack, scratch = (os.path.abspath(p) for p in sys.argv[1:4])
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    os.chdir(scratch)
    environment = dict(os.environ, SOURCE_DATE_EPOCH="1800000000")
    failures = ran = 0
    for block in checked_blocks(guide):
        for number, command, shown in steps(block):
            arguments = shlex.split(command)
            if arguments[0] == "cat":
                with open(arguments[1], "w", encoding="utf-8") as f:
                    f.write("".join(line + "\n" for line in shown))
                continue
            if arguments[:2] == ["ls", "-R"]:
                make_listed_files(shown)
                continue
            if arguments[0] != "velmor-pack":
                print(f"{guide}:{number}: only cat, ls -R and velmor-pack can be checked: {command}")
                failures += 1
                continue
            if "--cert" in arguments and not os.path.exists(arguments[arguments.index("--cert") + 1]):
                signer = next((re.search(r"signed by (.*?), package", line) for line in shown
                               if "signed by" in line), None)
                make_certificate(arguments, signer.group(1) if signer else None)
            run = subprocess.run([pack] + arguments[1:], env=environment, capture_output=True, text=True)
            printed = (run.stdout + run.stderr).splitlines()
            ran += 1
            if not matches(shown, printed):
                failures += 1
                print(f"{guide}:{number}: {command}\n  the guide shows:\n    " + "\n    ".join(shown) +
                      "\n  velmor-pack printed:\n    " + "\n    ".join(printed))
    print(f"{ran} commands of the guide run, {failures} differ")
    return 1 if failures or ran == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
