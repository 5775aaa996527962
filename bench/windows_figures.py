#!/usr/bin/env python3
"""The launcher's performance on Windows itself, as two ratios. Asserts nothing.

    python windows_figures.py [--size-mib 1024] [--runs 5] [--pairs 21] [--json FILE]

Run in the folder of the Windows test executables (the CI artifact
windows-tests: kova-mcp.exe, kova-make-release.exe, kova-test-companion.exe
and keys/). Prints Markdown for the job summary; --json writes the figures.

hashing  A release with an AI_MODELS.zip of SIZE random bytes, verified by the
         launcher (its run less a bare start of the companion) against
         `certutil -hashfile FILE SHA256` on the same files: throughputs and
         their ratio, medians of RUNS runs.
startup  The launcher's whole run with a small release against a bare start of
         the companion it runs (a trivial exe), PAIRS pairs, each pair run
         back to back: the medians, their ratio and the difference.

--runner PROGRAM runs each Windows program through PROGRAM (scripts/wine-run,
to try the script under Wine, with --reference sha256sum and --local the
prefix's own LOCALAPPDATA, since Wine sets that variable itself).
"""
import argparse
import json
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from bench import lay_out, run_timed  # noqa: E402 (beside this script)


def main(arguments):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size-mib", type=int, default=1024)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--pairs", type=int, default=21)
    parser.add_argument("--json", help="where to write the figures")
    parser.add_argument("--folder", default=os.getcwd(), help="the Windows test executables' folder")
    parser.add_argument("--runner", default="", help="a program to run each Windows program through")
    parser.add_argument("--reference", default="certutil -hashfile {} SHA256", help="the hashing command per file")
    parser.add_argument("--local", help="the LOCALAPPDATA the launcher sees (a new temporary folder)")
    options = parser.parse_args(arguments)

    def program(name, *rest):
        return shlex.split(options.runner) + [os.path.join(options.folder, name), *rest]

    def sign(version):
        subprocess.run(program("kova-make-release.exe", "sign", "--key", os.path.join(options.folder, "keys", "release-test-key.pem"),
                               "--version", "1.4.0", version), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    local = options.local or tempfile.mkdtemp(prefix="kova-figures-")
    os.environ["LOCALAPPDATA"] = local
    figures = {"runner": os.environ.get("ImageOS", "") + " " + os.environ.get("ImageVersion", "")}

    try:
        return measure(options, local, program, sign, figures)
    finally:
        shutil.rmtree(os.path.join(local, "Tessarine"), ignore_errors=True)


def measure(options, local, program, sign, figures):
    companion = os.path.join(options.folder, "kova-test-companion.exe")
    launcher, bare = program("kova-mcp.exe", "lumenframe"), program("kova-test-companion.exe")
    version = lay_out(local, options.size_mib << 20, companion, sign, allowed=local.replace("\\", "\\\\"))
    files = [os.path.join(version, name) for name in sorted(os.listdir(version)) if name != "manifest.txt"]
    size = sum(os.path.getsize(path) for path in files)
    references = [[word.replace("{}", path) for word in shlex.split(options.reference)] for path in files]
    run_timed(launcher)  # the page cache warm for both
    timings = {"launcher": [], "bare start": [], "reference": []}
    for _ in range(options.runs):
        timings["launcher"].append(run_timed(launcher))
        timings["bare start"].append(run_timed(bare))
        timings["reference"].append(sum(run_timed(command) for command in references))
    median = {name: statistics.median(values) for name, values in timings.items()}
    launcher_rate = size / 1e6 / max(median["launcher"] - median["bare start"], 1e-9)
    reference_rate = size / 1e6 / median["reference"]
    figures["hashing"] = {"bytes": size, "launcher_mb_per_s": launcher_rate, "reference_mb_per_s": reference_rate,
                          "ratio": launcher_rate / reference_rate, "reference": options.reference, "runs": timings}

    lay_out(local, 0, companion, sign, allowed=local.replace("\\", "\\\\"))
    pairs = [(run_timed(launcher), run_timed(bare)) for _ in range(options.pairs)]
    whole, trivial = statistics.median(p[0] for p in pairs), statistics.median(p[1] for p in pairs)
    figures["startup"] = {"pairs": len(pairs), "launcher_median_s": whole, "bare_median_s": trivial,
                          "ratio": whole / trivial, "overhead_ms": (whole - trivial) * 1000}

    hashing, startup = figures["hashing"], figures["startup"]
    print(f"### Windows' own figures ({figures['runner'].strip() or 'this machine'})\n")
    print("| figure | value |\n|---|---|")
    print(f"| hashing, the launcher | {hashing['launcher_mb_per_s']:.0f} MB/s ({size / 1e6:.0f} MB, median of {options.runs}) |")
    print(f"| hashing, `{options.reference.split()[0]}` | {hashing['reference_mb_per_s']:.0f} MB/s |")
    print(f"| **hashing ratio**, launcher / reference | **{hashing['ratio']:.2f}** |")
    print(f"| start-up, the launcher's whole run | {whole * 1000:.1f} ms (median of {len(pairs)} pairs) |")
    print(f"| start-up, a bare start of a trivial exe | {trivial * 1000:.1f} ms |")
    print(f"| **start-up ratio**, launcher / bare start | **{startup['ratio']:.2f}** ({startup['overhead_ms']:.1f} ms more) |")
    if options.json:
        with open(options.json, "w", encoding="utf-8") as file:
            json.dump(figures, file, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
