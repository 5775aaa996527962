#!/usr/bin/env python3
"""Measures kova-mcp under Wine. Asserts nothing; it is not a test.

hashing  A release with a large AI_MODELS.zip of random bytes is laid out in
         the Wine prefix's own LOCALAPPDATA (Wine ignores the Linux value), the
         launcher runs with a companion that exits at once, and the hashing
         throughput is worked out as bytes / (launcher run - trivial Wine
         program run), beside `openssl dgst -sha256`. Peak memory is compared
         between a small and the large release.
startup  Start-up with a small release: medians of the launcher's whole run
         and of a trivial Wine program, in the same run.
json     Hostile JSON: peak resident memory of the launcher for a 40 MB
         unclosed-array settings file, a 40 MB nested-object current.json and
         a 100 MB settings file of 25 million strings; then each once more
         with the address space limited (ulimit -v), with its exit status and
         standard error.

With --compare OLD.exe, the startup and json sections measure an earlier
kova-mcp.exe too, in the same run, on the same files.
"""
import argparse
import os
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
# Wine itself does not start below about 2 GiB of address space.
ADDRESS_SPACE_KIB = 2_359_296  # 2.25 GiB
SECTIONS = ("hashing", "startup", "json")


def run_timed(command):
    """Wall time of one command, which must succeed."""
    start = time.perf_counter()
    completed = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if completed.returncode != 0:
        sys.exit(f"bench: {' '.join(command)} failed ({completed.returncode}): {completed.stderr.decode(errors='replace')}")
    return elapsed


def peak_rss_of(command):
    """Peak RSS (KiB) of a single fresh child, its exit status and standard error."""
    probe = ("import resource,subprocess,sys;"
             "r=subprocess.run(sys.argv[1:],stdin=subprocess.DEVNULL,stdout=subprocess.DEVNULL,stderr=subprocess.PIPE);"
             "sys.stderr.buffer.write(r.stderr);"
             "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, r.returncode)")
    out = subprocess.run([sys.executable, "-c", probe] + command, capture_output=True, text=True, check=True)
    peak, status = out.stdout.split()
    return int(peak), int(status), out.stderr


def limited(command):
    """The command with its address space limited."""
    return ["bash", "-c", f'ulimit -v {ADDRESS_SPACE_KIB}; exec "$@"', "bash"] + command


def sign(version_folder):
    subprocess.run([NATIVE_TOOL, "sign", "--key", KEY, "--version", "1.4.0", version_folder], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def write_random(path, size_bytes):
    with open(path, "wb") as f:
        remaining = size_bytes
        while remaining > 0:
            chunk = min(remaining, 64 << 20)
            f.write(os.urandom(chunk))
            remaining -= chunk


def lay_out(local, models_bytes=0, companion=COMPANION, signed_by=sign, allowed="C:\\\\users"):
    """A signed installation of version 1.4.0 and one allowed folder."""
    tessarine = os.path.join(local, "Tessarine")
    app = os.path.join(tessarine, "Apps", "Lumenframe")
    version = os.path.join(app, "versions", "1.4.0")
    shutil.rmtree(tessarine, ignore_errors=True)
    os.makedirs(version)
    with open(os.path.join(app, "current.json"), "w") as f:
        f.write('{"current":"1.4.0"}')
    with open(os.path.join(tessarine, "mcp-settings.json"), "w") as f:
        f.write('{"allowed_roots":["%s"]}' % allowed)
    shutil.copy(companion, os.path.join(version, "lumenframe-mcp.exe"))
    shutil.copy(companion, os.path.join(version, "lumenframe.exe"))
    if models_bytes:
        write_random(os.path.join(version, "AI_MODELS.zip"), models_bytes)
    signed_by(version)
    return version


def medians(commands, runs):
    """Each command run `runs` times, interleaved; medians and all times."""
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, command in commands.items():
            times[name].append(run_timed(command))
    return {name: statistics.median(values) for name, values in times.items()}, times


def hashing(local, launcher, trivial, args):
    small = lay_out(local, 16 << 20)
    small_peak = peak_rss_of(launcher)[0]
    version = lay_out(local, args.size_mib << 20)
    files = [os.path.join(version, name) for name in sorted(os.listdir(version)) if name != "manifest.txt"]
    total = sum(os.path.getsize(p) for p in files)
    large_peak = peak_rss_of(launcher)[0]
    # Warm the page cache and the wineserver once, then time each command.
    run_timed(launcher)
    run_timed(["openssl", "dgst", "-sha256"] + files)
    median, times = medians({"launcher": launcher, "wine baseline": trivial,
                             "openssl dgst": ["openssl", "dgst", "-sha256"] + files}, args.runs)
    mb = total / 1e6
    launcher_rate = mb / max(median["launcher"] - median["wine baseline"], 1e-9)
    openssl_rate = mb / median["openssl dgst"]
    print(f"hashing: {len(files)} files, {mb:.1f} MB; {args.runs} runs each, medians:")
    for name, values in times.items():
        print(f"  {name:14s} {median[name]:7.3f} s   (runs: {', '.join(f'{v:.3f}' for v in values)})")
    print(f"  launcher hashing: {launcher_rate:8.1f} MB/s (launcher run minus the Wine baseline)")
    print(f"  openssl dgst:     {openssl_rate:8.1f} MB/s")
    print(f"  ratio:            {launcher_rate / openssl_rate:8.2f} (target: at least 0.90)")
    print(f"  peak memory:      {small_peak / 1024:.1f} MiB with a 16 MiB release, "
          f"{large_peak / 1024:.1f} MiB with {args.size_mib} MiB (wine64 process, resident)")
    del small


def startup(local, launchers, trivial, args):
    lay_out(local)
    commands = {"trivial program": trivial}
    commands.update({name: command for name, command in launchers.items()})
    for command in commands.values():
        run_timed(command)
    median, times = medians(commands, args.runs * 4)
    print(f"start-up with a small release (2 files, {os.path.getsize(COMPANION) * 2 / 1e6:.1f} MB); "
          f"{args.runs * 4} runs each, interleaved, medians:")
    for name in commands:
        line = f"  {name:16s} {median[name] * 1000:7.1f} ms"
        if name != "trivial program":
            line += f"   (beyond the trivial program: {(median[name] - median['trivial program']) * 1000:6.1f} ms)"
        print(line)
    names = list(launchers)
    if len(names) == 2:
        print(f"  ratio {names[0]} / {names[1]}: {median[names[0]] / median[names[1]]:.3f} (whole run), "
              f"{(median[names[0]] - median['trivial program']) / (median[names[1]] - median['trivial program']):.3f} "
              f"(beyond the trivial program)")


def hostile_json(local, launchers):
    tessarine = os.path.join(local, "Tessarine")
    app = os.path.join(tessarine, "Apps", "Lumenframe")
    cases = [
        ("40 MB unclosed-array settings file", os.path.join(tessarine, "mcp-settings.json"),
         lambda f: (f.write(b'{"x":'), f.write(b"[" * 40_000_000))),
        ("40 MB nested-object current.json", os.path.join(app, "current.json"),
         lambda f: (f.write(b'{"current":"1.4.0","a":'), f.write(b'{"a":' * 8_000_000))),
        ("100 MB settings file of 25 million strings", os.path.join(tessarine, "mcp-settings.json"),
         lambda f: (f.write(b'{"allowed_roots":['), f.write(b'"a",' * 24_999_999), f.write(b'"a"]}'))),
    ]
    print(f"hostile JSON: peak resident memory of the launcher's wine64 process, then under ulimit -v "
          f"{ADDRESS_SPACE_KIB} KiB: exit status and standard error")
    for what, path, write in cases:
        lay_out(local)
        with open(path, "wb") as f:
            write(f)
        print(f"  {what} ({os.path.getsize(path) / 1e6:.0f} MB):")
        for name, command in launchers.items():
            peak, status, error = peak_rss_of(command)
            limited_peak, limited_status, limited_error = peak_rss_of(limited(command))
            print(f"    {name:10s} {peak / 1024:8.1f} MiB, exit {status}, {error.strip()!r}; "
                  f"limited: exit {limited_status}, {limited_error.strip()[:120]!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("size_mib", nargs="?", type=int, default=1024, help="size of AI_MODELS.zip in MiB (1024)")
    parser.add_argument("--runs", type=int, default=5, help="timed runs of each command (5; start-up: four times as many)")
    parser.add_argument("--only", default=",".join(SECTIONS), help=f"sections to run, of {', '.join(SECTIONS)}")
    parser.add_argument("--compare", metavar="OLD.exe", help="an earlier kova-mcp.exe to measure beside this one")
    args = parser.parse_args()
    sections = args.only.split(",")

    subprocess.run([os.path.join(ROOT, "scripts", "setup")], check=True)
    subprocess.run(["cmake", "--preset", "windows", "-B", BUILD], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "--target", "kova-mcp", "kova-test-companion"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--preset", "native"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", os.path.join(ROOT, "build", "native"), "--target", "kova-make-release"],
                   check=True, stdout=subprocess.DEVNULL)

    prefix = os.environ["WINEPREFIX"]  # set by scripts/env.sh
    user = os.environ.get("USER") or "root"
    local = os.path.join(prefix, "drive_c", "users", user, "AppData", "Local")

    launchers = {"kova-mcp": [WINE_RUN, LAUNCHER, "lumenframe"]}
    if args.compare:
        launchers["earlier"] = [WINE_RUN, os.path.abspath(args.compare), "lumenframe"]
    trivial = [WINE_RUN, COMPANION]
    run_timed(trivial)  # the wineserver up before anything is measured

    try:
        if "hashing" in sections:
            hashing(local, launchers["kova-mcp"], trivial, args)
        if "startup" in sections:
            startup(local, launchers, trivial, args)
        if "json" in sections:
            hostile_json(local, launchers)
    finally:
        shutil.rmtree(os.path.join(local, "Tessarine"), ignore_errors=True)


if __name__ == "__main__":
    main()
