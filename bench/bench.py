#!/usr/bin/env python3
"""Times kova-mcp's verification run under Wine against `openssl dgst -sha256`.

A release with a large AI_MODELS.zip of random bytes is laid out in the Wine
prefix's own LOCALAPPDATA (Wine ignores the Linux value), the launcher runs
with a companion that exits at once, and the hashing throughput is worked out
as bytes / (launcher run - trivial Wine program run). Peak memory is compared
between a small and the large release to show it does not grow with the file.
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
BUILD = os.path.join(ROOT, "build", "bench")
LAUNCHER = os.path.join(BUILD, "bin", "kova-mcp.exe")
COMPANION = os.path.join(BUILD, "tests", "kova-test-companion.exe")
NATIVE_TOOL = os.path.join(ROOT, "build", "native", "bin", "kova-make-release")
KEY = os.path.join(ROOT, "tests", "keys", "release-test-key.pem")


def run_timed(command, **kwargs):
    """Wall time and peak resident memory (KiB) of one command."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    start = time.perf_counter()
    completed = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, **kwargs)
    elapsed = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    if completed.returncode != 0:
        sys.exit(f"bench: {' '.join(command)} failed ({completed.returncode}): {completed.stderr.decode(errors='replace')}")
    return elapsed, max(peak, before)


def peak_rss_of(command):
    """Peak RSS of a single fresh child, measured in a child Python of its own."""
    probe = ("import resource,subprocess,sys;"
             "r=subprocess.run(sys.argv[1:],stdin=subprocess.DEVNULL,stdout=subprocess.DEVNULL);"
             "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss);sys.exit(r.returncode)")
    out = subprocess.run([sys.executable, "-c", probe] + command, capture_output=True, text=True, check=True)
    return int(out.stdout.strip())


def lay_out(local, size_bytes):
    version = os.path.join(local, "Tessarine", "Apps", "Lumenframe", "versions", "1.4.0")
    shutil.rmtree(os.path.join(local, "Tessarine"), ignore_errors=True)
    os.makedirs(version)
    with open(os.path.join(local, "Tessarine", "Apps", "Lumenframe", "current.json"), "w") as f:
        f.write('{"current":"1.4.0"}')
    with open(os.path.join(local, "Tessarine", "mcp-settings.json"), "w") as f:
        f.write('{"allowed_roots":["C:\\\\users"]}')
    shutil.copy(COMPANION, os.path.join(version, "lumenframe-mcp.exe"))
    shutil.copy(COMPANION, os.path.join(version, "lumenframe.exe"))
    with open(os.path.join(version, "AI_MODELS.zip"), "wb") as f:
        remaining = size_bytes
        while remaining > 0:
            chunk = min(remaining, 64 << 20)
            f.write(os.urandom(chunk))
            remaining -= chunk
    subprocess.run([NATIVE_TOOL, "--key", KEY, "--version", "1.4.0", version], check=True, stdout=subprocess.DEVNULL)
    return version


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("size_mib", nargs="?", type=int, default=1024, help="size of AI_MODELS.zip in MiB (1024)")
    parser.add_argument("--runs", type=int, default=5, help="timed runs of each command (5)")
    args = parser.parse_args()

    subprocess.run([os.path.join(ROOT, "scripts", "setup")], check=True)
    subprocess.run(["cmake", "--preset", "windows", "-B", BUILD], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "--target", "kova-mcp", "kova-test-companion"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--preset", "native"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", os.path.join(ROOT, "build", "native"), "--target", "kova-make-release"],
                   check=True, stdout=subprocess.DEVNULL)

    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.cache/kova-mcp/wine-prefix"))
    user = os.environ.get("USER") or "root"
    local = os.path.join(prefix, "drive_c", "users", user, "AppData", "Local")

    launcher = [WINE_RUN, LAUNCHER, "lumenframe"]
    trivial = [WINE_RUN, COMPANION]

    small = lay_out(local, 16 << 20)
    small_peak = peak_rss_of(launcher)
    version = lay_out(local, args.size_mib << 20)
    files = [os.path.join(version, name) for name in sorted(os.listdir(version)) if name != "manifest.txt"]
    total = sum(os.path.getsize(p) for p in files)
    large_peak = peak_rss_of(launcher)

    # Warm the page cache and the wineserver once, then time each command.
    run_timed(launcher)
    run_timed(["openssl", "dgst", "-sha256"] + files)
    times = {"launcher": [], "wine baseline": [], "openssl dgst": []}
    for _ in range(args.runs):
        times["launcher"].append(run_timed(launcher)[0])
        times["wine baseline"].append(run_timed(trivial)[0])
        times["openssl dgst"].append(run_timed(["openssl", "dgst", "-sha256"] + files)[0])

    median = {name: statistics.median(values) for name, values in times.items()}
    mb = total / 1e6
    launcher_rate = mb / max(median["launcher"] - median["wine baseline"], 1e-9)
    openssl_rate = mb / median["openssl dgst"]
    print(f"release: {len(files)} files, {mb:.1f} MB; {args.runs} runs each, medians:")
    for name, values in times.items():
        print(f"  {name:14s} {median[name]:7.3f} s   (runs: {', '.join(f'{v:.3f}' for v in values)})")
    print(f"launcher hashing: {launcher_rate:8.1f} MB/s (launcher run minus the Wine baseline)")
    print(f"openssl dgst:     {openssl_rate:8.1f} MB/s")
    print(f"ratio:            {launcher_rate / openssl_rate:8.2f} (target: at least 0.90)")
    print(f"peak memory:      {small_peak / 1024:.1f} MiB with a 16 MiB release, "
          f"{large_peak / 1024:.1f} MiB with {args.size_mib} MiB (wine64 process, resident)")
    shutil.rmtree(os.path.join(local, "Tessarine"), ignore_errors=True)


if __name__ == "__main__":
    main()
