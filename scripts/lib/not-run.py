"""The one line a test run ends with: every test CTest did not run (skipped,
or not run for a missing fixture or program) and why, from the JUnit files
of `ctest --output-junit`; "not run: none" when every test ran.
  python3 scripts/lib/not-run.py JUNIT.xml...
"""
import sys
import xml.etree.ElementTree as ET


def why(case):
    """A test's own word on why it skipped: GoogleTest's message under
    "Skipped", else its last line of output, else CTest's reason."""
    lines = [l.strip() for l in (case.findtext("system-out") or "").splitlines() if l.strip()]
    for i, line in enumerate(lines[:-1]):
        if line.endswith(": Skipped"):
            return lines[i + 1]
    skipped = case.find("skipped")
    told = skipped.get("message", "") if skipped is not None else ""
    if lines and told in ("", "SKIP_REGULAR_EXPRESSION_MATCHED", "SKIP_RETURN_CODE=77"):
        return lines[-1]
    return told or (lines[-1] if lines else "no reason given")


def main(files):
    missed = []
    for name in files:
        try:
            cases = ET.parse(name).getroot().iter("testcase")
        except (OSError, ET.ParseError) as e:
            missed.append("the results in %s (%s)" % (name, e))
            continue
        for case in cases:
            if case.get("status") in ("notrun", "disabled"):
                missed.append("%s (%s)" % (case.get("name"), why(case)[:160]))
    print("not run: " + ("; ".join(missed) if missed else "none"))


main(sys.argv[1:])
