#!/usr/bin/env python3
"""scripts/test_summary.py on results as GoogleTest and CTest write them (the
texts below are trimmed from real runs of the project's own test executables):
every verdict is shown, and a failed, skipped or missing case fails the job."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "test_summary.py")

GTEST = """<?xml version="1.0" encoding="UTF-8"?>
<testsuites tests="2" failures="0" disabled="0" errors="0" time="0.1" name="AllTests">
  <testsuite name="WindowsNative" tests="1" failures="0" disabled="0" skipped="0" errors="0" time="0.01">
    <testcase name="TheSnapshotFailsOnAFolderItCannotList" status="run" result="{native}" time="0.008" classname="WindowsNative">{inside}</testcase>
  </testsuite>
  <testsuite name="TestTree" tests="1" failures="0" disabled="0" skipped="0" errors="0" time="0.088">
    <testcase name="AListingThatCannotStartOrStopsEarlyFailsTheTest" status="run" result="completed" time="0.082" classname="TestTree" />
  </testsuite>
</testsuites>
"""
SKIPPED = '<skipped message="needs Windows"><![CDATA[needs Windows]]></skipped>'
FAILED = '<failure message="KOVA_REQUIRE_WINDOWS=1, and this case cannot run here" type=""><![CDATA[Failed]]></failure>'
CTEST = """<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="(empty)" tests="2" failures="{failures}" disabled="0" skipped="0" hostname="" time="15">
	<testcase name="unit-tests" classname="unit-tests" time="1.2" status="run"><system-out>ok</system-out></testcase>
	<testcase name="end-to-end-WindowsNative.AnAppStorageGivenInShortFormIsTheSameFolder" classname="end-to-end-WindowsNative.AnAppStorageGivenInShortFormIsTheSameFolder" time="0.3" status="{status}">{inside}</testcase>
</testsuite>
"""


class TestSummary(unittest.TestCase):
    def summarise(self, *texts):
        with tempfile.TemporaryDirectory() as folder:
            paths = []
            for number, text in enumerate(texts):
                paths.append(os.path.join(folder, f"results-{number}.xml"))
                with open(paths[-1], "w", encoding="utf-8") as file:
                    file.write(text)
            return subprocess.run([sys.executable, SCRIPT, "--runner", "windows-2025 (20261201.1)", *paths],
                                  capture_output=True, text=True)

    def test_each_verdict_is_shown_and_only_a_clean_run_passes(self):
        native = "`WindowsNative.TheSnapshotFailsOnAFolderItCannotList`"
        rows = [
            # (results, exit code, what the summary must say)
            ([GTEST.format(native="completed", inside="")], 0, [f"| {native} | passed |", f"{native} ran", "2 passed, 0 failed, 0 skipped"]),
            ([GTEST.format(native="skipped", inside=SKIPPED)], 1, [f"| {native} | SKIPPED |", f"{native} did NOT run"]),
            ([GTEST.format(native="completed", inside=FAILED)], 1, [f"| {native} | FAILED |", f"{native} ran"]),
            ([CTEST.format(failures=0, status="run", inside="")], 0, ["| `end-to-end-WindowsNative.AnAppStorageGivenInShortFormIsTheSameFolder` | passed |"]),
            ([CTEST.format(failures=1, status="fail", inside='<failure message="Failed"/>')], 1,
             ["| `end-to-end-WindowsNative.AnAppStorageGivenInShortFormIsTheSameFolder` | FAILED |"]),
            ([CTEST.format(failures=0, status="notrun", inside='<skipped message="Disabled"/>')], 1,
             ["| `end-to-end-WindowsNative.AnAppStorageGivenInShortFormIsTheSameFolder` | SKIPPED |",
              "`end-to-end-WindowsNative.AnAppStorageGivenInShortFormIsTheSameFolder` did NOT run"]),
            ([GTEST.format(native="completed", inside=""), '<?xml version="1.0"?><testsuites tests="0"/>'], 1,
             ["holds no test."]),
        ]
        for texts, code, says in rows:
            with self.subTest(says=says[0]):
                run = self.summarise(*texts)
                self.assertEqual(run.returncode, code, run.stdout + run.stderr)
                self.assertTrue(run.stdout.startswith("### Tests on windows-2025 (20261201.1)\n"))
                for line in says:
                    self.assertIn(line, run.stdout)

    def test_a_file_that_is_no_xml_is_one_line(self):
        run = self.summarise("not xml")
        self.assertEqual(run.returncode, 1)
        self.assertRegex(run.stderr, r"^test_summary: .*results-0\.xml: syntax error: line 1, column 0\n$")


if __name__ == "__main__":
    unittest.main()
