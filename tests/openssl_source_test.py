#!/usr/bin/env python3
"""scripts/openssl-source against a Debian archive and a snapshot archive that
a loopback server plays, serving a real source package that the test builds
with dpkg-source (an upstream tarball with its signature, Debian's tarball
with one quilt patch) under a pin of its own: whatever ends in success is
extracted with dpkg-source -x and must carry the patch; a file that is
missing, one byte off or not the pinned .dsc is refused and never kept; a
newer revision, or a suite that cannot be read, is reported."""
import hashlib
import http.server
import json
import lzma
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "openssl-source")
VERSION = "9.9.9-1~deb12u1"
DSC = f"openssl_{VERSION}.dsc"
ORIG = "openssl_9.9.9.orig.tar.gz"
SIGNATURE = f"{ORIG}.asc"
DEBIAN = f"openssl_{VERSION}.debian.tar.xz"
PATCHED = "patched by Debian\n"

DEBIAN_FILES = {
    "source/format": "3.0 (quilt)\n",
    "control": "Source: openssl\nMaintainer: Test <test@example.org>\n\n"
               "Package: libssl-test\nArchitecture: any\nDescription: test\n test\n",
    "changelog": f"openssl ({VERSION}) bookworm; urgency=medium\n\n  * Test.\n\n"
                 " -- Test <test@example.org>  Thu, 01 Jan 2026 00:00:00 +0000\n",
    "patches/series": "fix-greeting.patch\n",
    "patches/fix-greeting.patch": f"--- a/greeting.txt\n+++ b/greeting.txt\n@@ -1 +1 @@\n-unpatched\n+{PATCHED}",
}


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


def build_source_package(folder):
    """{file name: bytes} of a source package made as Debian makes one."""
    tree = os.path.join(folder, "openssl-9.9.9")
    write(os.path.join(tree, "greeting.txt"), "unpatched\n")
    subprocess.run(["tar", "czf", ORIG, "openssl-9.9.9"], cwd=folder, check=True)
    write(os.path.join(folder, SIGNATURE), "-----BEGIN PGP SIGNATURE-----\nstand-in\n-----END PGP SIGNATURE-----\n")
    for name, text in DEBIAN_FILES.items():
        write(os.path.join(tree, "debian", name), text)
    subprocess.run(["dpkg-source", "-b", "openssl-9.9.9"], cwd=folder, check=True, capture_output=True)
    files = {}
    for name in (DSC, ORIG, SIGNATURE, DEBIAN):
        with open(os.path.join(folder, name), "rb") as file:
            files[name] = file.read()
    return files


def sha256(body):
    return hashlib.sha256(body).hexdigest()


def sources_stanza(version, directory, files):
    lines = "".join(f" {sha256(body)} {len(body)} {name}\n" for name, body in files.items())
    return f"Package: openssl\nVersion: {version}\nDirectory: {directory}\nChecksums-Sha256:\n{lines}\n"


class Archives(http.server.BaseHTTPRequestHandler):
    """Answers from `self.server.routes` (path to bytes), after any statuses
    queued for the path in `self.server.first` ((status, Retry-After) each);
    404 otherwise. Every request is kept as (method, path)."""

    def answer(self, with_body):
        self.server.asked.append((self.command, self.path))
        queued = self.server.first.get(self.path)
        if queued:
            status, retry_after = queued.pop(0)
            self.send_response(status)
            self.send_header("Retry-After", retry_after)
            self.end_headers()
            return
        body = self.server.routes.get(self.path)
        self.send_response(200 if body is not None else 404)
        self.send_header("Content-Length", str(len(body or b"")))
        self.end_headers()
        if body is not None and with_body:
            self.wfile.write(body)

    def do_GET(self):  # noqa: N802 (the base class's name)
        self.answer(with_body=True)

    def do_HEAD(self):  # noqa: N802
        self.answer(with_body=False)

    def log_message(self, *args):
        pass


class OpensslSource(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which("dpkg-source"):
            raise AssertionError("dpkg-source is missing: apt-get install dpkg-dev (scripts/setup installs it)")
        cls.package_folder = tempfile.TemporaryDirectory()
        cls.files = build_source_package(cls.package_folder.name)
        cls.pin_line = (f"openssl {VERSION} dsc={sha256(cls.files[DSC])} orig={sha256(cls.files[ORIG])} "
                        f"debian={sha256(cls.files[DEBIAN])}")

    @classmethod
    def tearDownClass(cls):
        cls.package_folder.cleanup()

    def setUp(self):
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Archives)
        self.server.routes, self.server.first, self.server.asked = {}, {}, []
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.folder = tempfile.TemporaryDirectory()
        self.use_pin(self.pin_line)
        self.destination = os.path.join(self.folder.name, "source")
        self.base = f"http://127.0.0.1:{self.server.server_address[1]}"
        self.environment = dict(os.environ, KOVA_OPENSSL_PIN=self.pin, KOVA_DEBIAN_SNAPSHOT=f"{self.base}/snapshot",
                                KOVA_DEBIAN_ARCHIVES=f"{self.base}/debian bookworm; {self.base}/debian-security bookworm-security")

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()
        self.folder.cleanup()

    def use_pin(self, line):
        self.pin = os.path.join(self.folder.name, "pin")
        write(self.pin, f"# the test's own pin\n{line}\n")

    def run_script(self, *arguments):
        return subprocess.run([sys.executable, SCRIPT, *arguments], env=self.environment, capture_output=True, text=True)

    def archive_lists(self, archive, suite, stanzas):
        self.server.routes[f"/{archive}/dists/{suite}/main/source/Sources.xz"] = lzma.compress("".join(stanzas).encode())

    def archive_serves(self, leave_out=(), changed=()):
        self.archive_lists("debian", "bookworm", [sources_stanza(VERSION, "pool/main/o/openssl", self.files)])
        for name, body in self.served(leave_out, changed).items():
            self.server.routes[f"/debian/pool/main/o/openssl/{name}"] = body

    def snapshot_serves(self, leave_out=(), changed=()):
        info = {}
        for name, body in self.served(leave_out, changed).items():
            sha1 = hashlib.sha1(self.files[name]).hexdigest()
            info[sha1] = [{"name": name, "archive_name": "debian", "path": "/pool/main/o/openssl", "size": len(body)}]
            self.server.routes[f"/snapshot/file/{sha1}"] = body
        self.server.routes[f"/snapshot/mr/package/openssl/{VERSION}/srcfiles?fileinfo=1"] = json.dumps({"fileinfo": info}).encode()

    def served(self, leave_out, changed):
        one_byte_off = lambda body: body[:-1] + bytes([body[-1] ^ 1])  # noqa: E731
        return {name: one_byte_off(body) if name in changed else body
                for name, body in self.files.items() if name not in leave_out}

    def kept(self):
        return sorted(os.listdir(self.destination)) if os.path.isdir(self.destination) else []

    def assert_extracts_with_the_patch(self):
        extracted = os.path.join(self.folder.name, "extracted")
        shutil.rmtree(extracted, ignore_errors=True)
        run = subprocess.run(["dpkg-source", "-x", os.path.join(self.destination, DSC), extracted],
                             cwd=self.folder.name, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(os.path.join(extracted, "greeting.txt"), encoding="utf-8") as file:
            self.assertEqual(file.read(), PATCHED)

    def test_the_archive_serves_the_whole_package_while_it_lists_it(self):
        self.archive_serves()
        run = self.run_script("fetch", self.destination)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.kept(), sorted(self.files))
        self.assertFalse([path for _, path in self.server.asked if path.startswith("/snapshot")])
        self.assert_extracts_with_the_patch()

    def test_the_snapshot_archive_serves_what_the_archive_dropped(self):
        self.archive_lists("debian", "bookworm", [sources_stanza("9.9.10-1~deb12u1", "pool/main/o/openssl", {})])
        self.snapshot_serves()
        run = self.run_script("fetch", self.destination)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assert_extracts_with_the_patch()
        # A second run finds them there, checked, and asks nobody.
        asked = len(self.server.asked)
        self.assertEqual(self.run_script("fetch", self.destination).returncode, 0)
        self.assertEqual(len(self.server.asked), asked)
        # A file there with other bytes is fetched again, not trusted.
        write(os.path.join(self.destination, SIGNATURE), "stale\n")
        self.assertEqual(self.run_script("fetch", self.destination).returncode, 0)
        self.assert_extracts_with_the_patch()

    def test_a_rate_limited_server_is_asked_again_and_then_given_up(self):
        self.archive_lists("debian", "bookworm", [])
        self.snapshot_serves()
        orig = f"/snapshot/file/{hashlib.sha1(self.files[ORIG]).hexdigest()}"
        self.server.first[orig] = [(429, "0"), (503, "0")]
        run = self.run_script("fetch", self.destination)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual([path for _, path in self.server.asked].count(orig), 3)
        self.assert_extracts_with_the_patch()

        shutil.rmtree(self.destination)
        self.server.first[orig] = [(503, "0")] * 4
        run = self.run_script("fetch", self.destination)
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr.splitlines()[-1],
                         f"openssl-source: {ORIG} of the pinned source openssl {VERSION} could not be downloaded; tried the "
                         f"archive (it offers nothing of it); the snapshot archive {self.base}/snapshot (HTTP 503)")
        self.assertNotIn(ORIG, self.kept())

    def test_what_is_missing_one_byte_off_or_not_pinned_is_refused_and_never_kept(self):
        other_dsc = self.pin_line.replace(f"dsc={sha256(self.files[DSC])}", f"dsc={'0' * 64}")
        cases = [
            # (what the archive and the snapshot leave out, change, the pin, the refused file, its line)
            ((SIGNATURE,), (), self.pin_line, SIGNATURE,
             f"openssl-source: {SIGNATURE} of the pinned source openssl {VERSION} could not be downloaded; tried "
             f"{self.base}/debian/pool/main/o/openssl/{SIGNATURE} (not there); the snapshot archive "
             f"{self.base}/snapshot (no such file of openssl {VERSION})"),
            ((), (SIGNATURE,), self.pin_line, SIGNATURE,
             f"openssl-source: {SIGNATURE} from {self.base}/debian/pool/main/o/openssl/{SIGNATURE} does not match "
             "its pinned SHA-256; nothing of it was kept"),
            ((), (ORIG,), self.pin_line, ORIG,
             f"openssl-source: {ORIG} from {self.base}/debian/pool/main/o/openssl/{ORIG} does not match "
             "its pinned SHA-256; nothing of it was kept"),
            ((), (), other_dsc, DSC,
             f"openssl-source: {DSC} from {self.base}/debian/pool/main/o/openssl/{DSC} does not match "
             "its pinned SHA-256; nothing of it was kept"),
        ]
        for leave_out, changed, pin, refused, line in cases:
            with self.subTest(refused=refused, changed=changed):
                self.server.routes.clear()
                shutil.rmtree(self.destination, ignore_errors=True)
                self.use_pin(pin)
                self.archive_serves(leave_out, changed)
                self.snapshot_serves(leave_out, changed)
                run = self.run_script("fetch", self.destination)
                self.assertEqual(run.returncode, 1)
                self.assertEqual(run.stderr.splitlines()[-1], line)
                self.assertNotIn(refused, self.kept())
                self.assertFalse([name for name in self.kept() if name.endswith(".part")])

    def test_a_newer_revision_is_reported_with_the_files_that_cannot_be_fetched(self):
        newer = {"openssl_9.9.10-1~deb12u1.dsc": b"d", "openssl_9.9.10.orig.tar.gz": b"o",
                 "openssl_9.9.10-1~deb12u1.debian.tar.xz": b"p"}
        self.archive_lists("debian", "bookworm", [sources_stanza(VERSION, "pool/main/o/openssl", self.files)])
        self.archive_lists("debian-security", "bookworm-security", [sources_stanza("9.9.10-1~deb12u1", "pool/updates/main/o/openssl", newer)])
        self.server.routes["/debian-security/pool/updates/main/o/openssl/openssl_9.9.10.orig.tar.gz"] = b"o"
        line = ("openssl-freshness: the archive offers openssl 9.9.10-1~deb12u1 (bookworm-security), newer than the pin "
                "9.9.9-1~deb12u1; of its files, openssl_9.9.10-1~deb12u1.dsc and openssl_9.9.10-1~deb12u1.debian.tar.xz "
                "could not be fetched: bump scripts/openssl-source.pin on purpose\n")
        run = self.run_script("freshness")
        self.assertEqual((run.returncode, run.stdout), (0, line))
        self.assertEqual(self.run_script("freshness", "--strict").returncode, 1)
        # Whether a file is there is asked, not downloaded.
        pool = [(method, path) for method, path in self.server.asked if "/pool/" in path]
        self.assertTrue(pool)
        self.assertEqual({method for method, _ in pool}, {"HEAD"})

    def test_the_pin_at_the_newest_revision_passes_even_when_strict(self):
        self.archive_lists("debian", "bookworm", [sources_stanza(VERSION, "pool/main/o/openssl", self.files)])
        self.archive_lists("debian-security", "bookworm-security", [])
        run = self.run_script("freshness", "--strict")
        self.assertEqual((run.returncode, run.stdout),
                         (0, f"openssl-freshness: the pin openssl {VERSION} is the newest revision the archive offers\n"))

    def test_a_suite_that_cannot_be_read_is_named_and_fails_when_strict(self):
        self.archive_lists("debian", "bookworm", [sources_stanza(VERSION, "pool/main/o/openssl", self.files)])
        self.server.first["/debian-security/dists/bookworm-security/main/source/Sources.xz"] = [(500, "0")] * 2
        line = (f"openssl-freshness: no suite that could be read offers a revision newer than the pin openssl {VERSION}; "
                f"bookworm-security at {self.base}/debian-security (HTTP 500) could not be read, so a newer one may exist\n")
        run = self.run_script("freshness")
        self.assertEqual((run.returncode, run.stdout), (0, line))
        run = self.run_script("freshness", "--strict")
        self.assertEqual((run.returncode, run.stdout), (1, line))

    def test_every_form_of_apt_source_is_read(self):
        etc = os.path.join(self.folder.name, "apt")
        write(os.path.join(etc, "sources.list"),
              f"# a comment\ndeb [arch=amd64 signed-by=/usr/share/keyrings/k.gpg] {self.base}/one bookworm main\n"
              f"deb {self.base}/contrib-only bookworm contrib\n")
        write(os.path.join(etc, "sources.list.d", "extra.list"), f"deb-src [ trusted=yes ] {self.base}/two bookworm-updates main contrib\n")
        write(os.path.join(etc, "sources.list.d", "debian.sources"),
              f"Types: deb\nURIs: {self.base}/three\nSuites: bookworm bookworm-security\nComponents: main\n\n"
              f"Types: deb\nURIs: {self.base}/off\nSuites: bookworm\nComponents: main\nEnabled: no\n")
        del self.environment["KOVA_DEBIAN_ARCHIVES"]
        self.environment["KOVA_APT_ETC"] = etc
        self.archive_lists("three", "bookworm", [sources_stanza(VERSION, "pool/main/o/openssl", self.files)])
        run = self.run_script("freshness")
        self.assertEqual(run.returncode, 0, run.stderr)
        lists = sorted({path.rsplit("/main/", 1)[0] for _, path in self.server.asked})
        self.assertEqual(lists, ["/one/dists/bookworm", "/three/dists/bookworm", "/three/dists/bookworm-security",
                                 "/two/dists/bookworm-updates"])


if __name__ == "__main__":
    unittest.main()
