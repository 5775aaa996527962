#!/usr/bin/env python3
"""Debian's patch series of a source package, as CycloneDX 1.5 pedigree patches.

    scripts/debian_patches.py DEBIAN-TARBALL PACKAGE VERSION > patches.json

Reads debian/patches/series and each patch's header (its text before the
diff) straight from the .debian.tar.* of the source package, in the order
the series applies them. A patch whose header or file name names a CVE is a
"backport" of upstream's fix, resolving each CVE it names; any other is
"unofficial", a change of Debian's own. Each links to the patch as Debian
publishes it. Exit 1 with one line when the tarball holds no series.
"""
import json
import re
import sys
import tarfile

CVE = re.compile(r"CVE-\d{4}-\d{4,}")
DIFF_STARTS = re.compile(r"^(---\s|diff |Index: |\+\+\+ )", re.M)


def header_of(patch):
    start = DIFF_STARTS.search(patch)
    return patch[: start.start()] if start else patch


def patch_entry(package, version, name, text):
    cves = list(dict.fromkeys(CVE.findall(name) + CVE.findall(header_of(text))))
    entry = {"type": "backport" if cves else "unofficial",
             "diff": {"url": f"https://sources.debian.org/src/{package}/{version}/debian/patches/{name}/"}}
    if cves:
        entry["resolves"] = [{"type": "security", "id": cve,
                              "source": {"name": "NVD", "url": f"https://nvd.nist.gov/vuln/detail/{cve}"}}
                             for cve in cves]
    return entry


def read_series(tarball):
    """[(patch name, patch text)] in the order of debian/patches/series."""
    with tarfile.open(tarball) as archive:
        def text_of(path):
            member = archive.extractfile(path)
            return member.read().decode("utf-8", "replace")
        names = archive.getnames()
        if "debian/patches/series" not in names:
            raise LookupError(f"{tarball} holds no debian/patches/series")
        series = [line.split()[0] for line in text_of("debian/patches/series").splitlines()
                  if line.strip() and not line.lstrip().startswith("#")]
        missing = [name for name in series if f"debian/patches/{name}" not in names]
        if missing:
            raise LookupError(f"{tarball}: the series names {', '.join(missing)}, which it does not hold")
        return [(name, text_of(f"debian/patches/{name}")) for name in series]


def main(arguments):
    if len(arguments) != 3:
        print(__doc__.split("\n\n")[1].strip(), file=sys.stderr)
        return 2
    tarball, package, version = arguments
    try:
        series = read_series(tarball)
    except (OSError, tarfile.TarError, LookupError) as error:
        print(f"debian_patches: {error}", file=sys.stderr)
        return 1
    json.dump([patch_entry(package, version, name, text) for name, text in series], sys.stdout, indent=1)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
