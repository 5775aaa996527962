#!/usr/bin/env python3
"""A Windows job's test results as its summary: what a reviewer reads without a log.

    scripts/test_summary.py --runner TEXT RESULTS.xml...

Reads GoogleTest's XML (--gtest_output=xml) and CTest's JUnit XML
(--output-junit) and prints, in Markdown, the runner (its image and
version), each test's name and verdict, and whether each WindowsNative case
ran. Exit 1 when a test failed, was skipped or did not run, or when a file
holds no test: on Windows itself every case must run.
"""
import argparse
import sys
import xml.etree.ElementTree as ElementTree

PASSED, FAILED, SKIPPED = "passed", "FAILED", "SKIPPED"


def verdict(case):
    """A <testcase>'s verdict, as GoogleTest or CTest wrote it."""
    if case.find("failure") is not None or case.find("error") is not None or case.get("status") == "fail":
        return FAILED
    if (case.find("skipped") is not None or case.get("result") in ("skipped", "suppressed")
            or case.get("status") in ("notrun", "disabled")):
        return SKIPPED
    return PASSED


def cases_of(path):
    """[(test name, verdict)] of one results file."""
    root = ElementTree.parse(path).getroot()
    found = []
    for case in root.iter("testcase"):
        suite = case.get("classname", "")
        name = case.get("name", "")
        found.append((f"{suite}.{name}" if suite and suite != name else name, verdict(case)))
    return found


def summary(runner, results):
    """The Markdown, and whether every test of every file ran and passed."""
    lines = [f"### Tests on {runner}", ""]
    good = True
    native = []
    for path, cases in results:
        counts = {v: sum(1 for _, got in cases if got == v) for v in (PASSED, FAILED, SKIPPED)}
        lines += [f"**{path}**: {counts[PASSED]} passed, {counts[FAILED]} failed, {counts[SKIPPED]} skipped", "",
                  "| test | verdict |", "|---|---|"]
        lines += [f"| `{name}` | {got} |" for name, got in cases]
        lines.append("")
        native += [(name, got) for name, got in cases if "WindowsNative." in name]
        if not cases:
            lines += [f"{path} holds no test.", ""]
            good = False
        good = good and counts[FAILED] == 0 and counts[SKIPPED] == 0
    lines += ["**The cases only Windows can show (WindowsNative.\\*):** " +
              (", ".join(f"`{name}` {'ran' if got != SKIPPED else 'did NOT run'}" for name, got in native)
               or "none in these results"), ""]
    return "\n".join(lines), good


def main(arguments):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runner", required=True, help="the runner's image and version, as the summary names it")
    parser.add_argument("results", nargs="+")
    options = parser.parse_args(arguments)
    results = []
    for path in options.results:
        try:
            results.append((path, cases_of(path)))
        except (OSError, ElementTree.ParseError) as error:
            print(f"test_summary: {path}: {error}", file=sys.stderr)
            return 1
    text, good = summary(options.runner, results)
    print(text)
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
