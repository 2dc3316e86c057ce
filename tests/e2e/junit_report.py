#!/usr/bin/env python3
"""The release check's JUnit file read back with an XML parser and held
against its console report: one <testsuite>, a <testcase> for each held,
FAILED or skipped line in the order printed, each telling that line whole,
the counts in the suite's attributes, the machine's facts as properties.
   junit_report.py REPORT.xml CONSOLE_REPORT
Prints what differs and ends with 1; nothing and 0 when all agrees."""
import sys
import xml.etree.ElementTree as ET

VERDICTS = ("held     ", "FAILED   ", "skipped  ")


def main(xml_path, console_path):
    with open(console_path, encoding="utf-8") as f:
        console = [line.rstrip("\r\n") for line in f]
    lines = [line for line in console if line.startswith(VERDICTS)]
    facts = [line for line in console if line.startswith(("machine: ", "board: ", "kestrel-check: checking "))]
    faults = []
    root = ET.parse(xml_path).getroot()
    suites = root.findall("testsuite")
    if root.tag != "testsuites" or len(suites) != 1:
        return ["not one <testsuite> in <testsuites>"]
    suite = suites[0]
    cases = suite.findall("testcase")
    told = []
    for case in cases:
        name = case.get("name")
        failure, skipped, out = case.find("failure"), case.find("skipped"), case.find("system-out")
        if sum(e is not None for e in (failure, skipped, out)) != 1 or case.get("classname") != "kestrel-check":
            faults.append("test case %r: not one of <failure>, <skipped>, <system-out>" % name)
        elif failure is not None:
            told.append(failure.text)
            if failure.text != "FAILED   %s: %s" % (name, failure.get("message")):
                faults.append("test case %r: the failure's message and text disagree" % name)
        elif skipped is not None:
            told.append("skipped  %s: %s" % (name, skipped.get("message")))
        else:
            told.append(out.text)
            if not out.text.startswith("held     %s: " % name):
                faults.append("test case %r: its name is not its line's" % name)
    if told != lines:
        faults.append("the test cases are not the console's lines:\n  console: %r\n  junit:   %r" % (lines, told))
    counts = {
        "tests": len(lines),
        "failures": sum(line.startswith("FAILED") for line in lines),
        "skipped": sum(line.startswith("skipped") for line in lines),
        "errors": 0,
    }
    for key, want in counts.items():
        if suite.get(key) != str(want):
            faults.append("testsuite %s=%r, the console says %d" % (key, suite.get(key), want))
    properties = ["%s: %s" % (p.get("name"), p.get("value")) for p in suite.iter("property")]
    missing = [fact for fact in facts if fact not in properties]
    if missing or not facts:
        faults.append("facts not among the properties: %r" % (missing or "none on the console"))
    return faults


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__.splitlines()[-3], file=sys.stderr)
        sys.exit(64)
    try:
        found = main(sys.argv[1], sys.argv[2])
    except (OSError, ET.ParseError) as error:
        found = ["cannot be read: %s" % error]
    for fault in found:
        print(fault)
    sys.exit(1 if found else 0)
