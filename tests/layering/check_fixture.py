#!/usr/bin/python3
"""Runs scripts/check-layering on the fixture tree and passes only when it
reports exactly the planted faults: every one below, by place and kind, and
nothing from the clean files (platform/, messages/Log.*, shell/Console.cpp's
Qt, tests/platform/).

    check_fixture.py CHECK_SCRIPT FIXTURE_ROOT
"""

import re
import subprocess
import sys

PLANTED = {
    # an upward include, and includes from a sibling neither may use
    ("src/config/Settings.cpp", 1, "layering"),
    ("src/shell/Console.cpp", 4, "layering"),
    ("src/testsender/TestTraps.cpp", 3, "layering"),
    # Qt in the core, bare and with its module folder, and in the shell's
    # controller, which builds without Qt
    ("src/snmp/Codec.cpp", 1, "qt"),
    ("src/snmp/Codec.cpp", 4, "qt"),
    ("src/shell/Controller.h", 3, "qt"),
    # operating-system headers, one of them spelled in Windows' capitals
    ("src/recipients/Transport.cpp", 1, "os-header"),
    ("src/recipients/Transport.cpp", 2, "os-header"),
    # calls: std::, ::, bare, and with a space before the parenthesis
    ("src/accounting/Restart.cpp", 7, "os-call"),
    ("src/accounting/Restart.cpp", 8, "os-call"),
    ("src/accounting/Restart.cpp", 9, "os-call"),
    ("src/accounting/Restart.cpp", 11, "os-call"),
    # tests/ are checked for their format
    ("tests/accounting/MessyTest.cpp", 6, "format"),
}

REPORT = re.compile(r"^(.+?):(\d+): ([a-z-]+): ")


def main(aScript, aRoot):
    result = subprocess.run([sys.executable, aScript, aRoot], capture_output=True, text=True,
                            timeout=600)
    sys.stdout.write(result.stdout)
    sys.stderr.write(result.stderr)
    reported, unparsed = set(), []
    for line in result.stdout.splitlines():
        match = REPORT.match(line)
        if match:
            reported.add((match.group(1), int(match.group(2)), match.group(3)))
        else:
            unparsed.append(line)
    faults = []
    if result.returncode != 1:
        faults.append("exit status %d, expected 1" % result.returncode)
    faults += ["not reported: %s:%d: %s" % fault for fault in sorted(PLANTED - reported)]
    faults += ["reported but not planted: %s:%d: %s" % r for r in sorted(reported - PLANTED)]
    faults += ["not in the form path:line: kind: text: %s" % line for line in unparsed]
    for fault in faults:
        print("FAIL " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip())
    sys.exit(main(sys.argv[1], sys.argv[2]))
