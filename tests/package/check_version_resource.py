#!/usr/bin/env python3
"""Reads each Windows program's version block back with windres and checks that it carries the
project's version and the program's own file name.

usage: check_version_resource.py WINDRES VERSION PROGRAM.exe...
"""
import pathlib
import re
import subprocess
import sys


def main() -> int:
    windres, version, programs = sys.argv[1], sys.argv[2], sys.argv[3:]
    numbers = (version.split(".") + ["0"] * 4)[:4]
    binary = ", ".join(str(int(n)) for n in numbers)
    faults = []
    for program in programs:
        text = subprocess.run([windres, "-J", "coff", "-O", "rc", program], check=True,
                              capture_output=True, text=True).stdout
        name = pathlib.Path(program).name
        expected = {
            "FILEVERSION": rf"^\s*FILEVERSION {binary}\s*$",
            "PRODUCTVERSION": rf"^\s*PRODUCTVERSION {binary}\s*$",
            "FileVersion": rf'VALUE "FileVersion", "{re.escape(version)}"',
            "ProductVersion": rf'VALUE "ProductVersion", "{re.escape(version)}"',
            "ProductName": r'VALUE "ProductName", "nukitori"',
            "OriginalFilename": rf'VALUE "OriginalFilename", "{re.escape(name)}"',
            "LegalCopyright": r'VALUE "LegalCopyright", "Copyright \(c\) 2026 the nukitori authors"',
            "FileDescription": r'VALUE "FileDescription", "[^"]+"',
        }
        for field, pattern in expected.items():
            if not re.search(pattern, text, re.MULTILINE):
                faults.append(f"{name}: {field} is missing or wrong")
    for fault in faults:
        print(fault)
    print(f"{len(programs) - len({f.split(':')[0] for f in faults})} passed, "
          f"{len({f.split(':')[0] for f in faults})} failed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
