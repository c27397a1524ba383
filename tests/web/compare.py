#!/usr/bin/env python3
"""Compares what the page gave (PAGE_OUT/<case>/) with what vireo-cli gave
for the same inputs (CLI_OUT/<case>/): the JSON text, the refusal message,
the level data file byte for byte and the workbook part by part after
inflating. The command line ran in HOME, the page in /vireo: a path in a
part (the network workbook lists its inputs) is compared with HOME read as
/vireo. Prints one line per difference; exits 1 when there is one.
  compare.py PAGE_OUT CLI_OUT HOME"""
import sys
import zipfile
from pathlib import Path


def read(path):
    return path.read_bytes() if path.exists() else None


def parts(path, home=None):
    with zipfile.ZipFile(path) as z:
        return {name: z.read(name).replace(home, b"/vireo") if home else z.read(name)
                for name in z.namelist()}


def compare(page, cli, home):
    problems = []
    if (cli / "status").read_text().strip() == "2":
        if read(page / "refused") != read(cli / "stderr"):
            problems.append("refusal message differs: %r != %r"
                            % (read(page / "refused"), read(cli / "stderr")))
        return problems
    if read(page / "json") != read(cli / "stdout"):
        problems.append("JSON differs")
    for name in ("level.dat",):
        if read(page / name) != read(cli / name):
            problems.append(name + " differs")
    if (cli / "workbook.xlsx").exists() != (page / "workbook.xlsx").exists():
        problems.append("workbook present on one side only")
    elif (cli / "workbook.xlsx").exists():
        a, b = parts(page / "workbook.xlsx"), parts(cli / "workbook.xlsx", home)
        if sorted(a) != sorted(b):
            problems.append("workbook parts differ: %s" % sorted(set(a) ^ set(b)))
        problems += ["workbook part %s differs" % n for n in sorted(a) if n in b and a[n] != b[n]]
    return problems


def main():
    page_out, cli_out, home = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3].encode()
    failed = False
    for cli in sorted(p for p in cli_out.iterdir() if p.is_dir()):
        problems = compare(page_out / cli.name, cli, home)
        for p in problems:
            print("%s: %s" % (cli.name, p))
        failed = failed or bool(problems)
        if not problems:
            print("%s: same as vireo-cli" % cli.name)
    sys.exit(1 if failed else 0)


main()
