#!/usr/bin/env python3
"""scripts/openssl-source against a Debian archive and a snapshot archive that
a loopback server plays, with a pin of its own over small stand-in files: the
pinned source is never lost while either archive has it, a file with one byte
changed is never kept, and a newer revision in the archive is reported."""
import hashlib
import http.server
import json
import lzma
import os
import subprocess
import sys
import tempfile
import threading
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "openssl-source")
FILES = {
    "dsc": ("openssl_9.9.9-1~deb12u1.dsc", b"Format: 3.0 (quilt)\nSource: openssl\n"),
    "orig": ("openssl_9.9.9.orig.tar.gz", b"upstream tarball stand-in"),
    "debian": ("openssl_9.9.9-1~deb12u1.debian.tar.xz", b"debian patches stand-in"),
}
PIN = "openssl 9.9.9-1~deb12u1 " + " ".join(f"{kind}={hashlib.sha256(body).hexdigest()}" for kind, (_, body) in FILES.items())


def sources_stanza(version, directory, files):
    lines = "".join(f" {hashlib.sha256(body).hexdigest()} {len(body)} {name}\n" for name, body in files)
    return f"Package: openssl\nVersion: {version}\nDirectory: {directory}\nChecksums-Sha256:\n{lines}\n"


class Archives(http.server.BaseHTTPRequestHandler):
    """Answers from `self.server.routes`, a map of path to bytes; 404 otherwise."""

    def do_GET(self):  # noqa: N802 (the base class's name)
        self.server.asked.append(self.path)
        body = self.server.routes.get(self.path)
        self.send_response(200 if body is not None else 404)
        self.end_headers()
        if body is not None:
            self.wfile.write(body)

    def log_message(self, *args):
        pass


class OpensslSource(unittest.TestCase):
    def setUp(self):
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Archives)
        self.server.routes, self.server.asked = {}, []
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.folder = tempfile.TemporaryDirectory()
        self.pin = os.path.join(self.folder.name, "pin")
        with open(self.pin, "w", encoding="utf-8") as file:
            file.write(f"# the test's own pin\n{PIN}\n")
        self.destination = os.path.join(self.folder.name, "source")
        base = f"http://127.0.0.1:{self.server.server_address[1]}"
        self.environment = dict(os.environ, KOVA_OPENSSL_PIN=self.pin, KOVA_DEBIAN_SNAPSHOT=f"{base}/snapshot",
                                KOVA_DEBIAN_ARCHIVES=f"{base}/debian bookworm; {base}/debian-security bookworm-security")

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()
        self.folder.cleanup()

    def run_script(self, *arguments):
        return subprocess.run([sys.executable, SCRIPT, *arguments], env=self.environment, capture_output=True, text=True)

    def archive_lists(self, archive, suite, stanzas):
        self.server.routes[f"/{archive}/dists/{suite}/main/source/Sources.xz"] = lzma.compress("".join(stanzas).encode())

    def snapshot_serves(self, changed_kind=None):
        info = {}
        for kind, (name, body) in FILES.items():
            sha1 = hashlib.sha1(body).hexdigest()
            info[sha1] = [{"name": name, "archive_name": "debian", "path": "/pool/main/o/openssl", "size": len(body)}]
            served = body[:-1] + bytes([body[-1] ^ 1]) if kind == changed_kind else body
            self.server.routes[f"/snapshot/file/{sha1}"] = served
        listing = {"fileinfo": info, "result": [{"hash": sha1} for sha1 in info]}
        self.server.routes["/snapshot/mr/package/openssl/9.9.9-1~deb12u1/srcfiles?fileinfo=1"] = json.dumps(listing).encode()

    def kept(self):
        return sorted(os.listdir(self.destination)) if os.path.isdir(self.destination) else []

    def test_the_archive_serves_the_pin_while_it_lists_it(self):
        self.archive_lists("debian", "bookworm", [sources_stanza("9.9.9-1~deb12u1", "pool/main/o/openssl", FILES.values())])
        for name, body in FILES.values():
            self.server.routes[f"/debian/pool/main/o/openssl/{name}"] = body
        run = self.run_script("fetch", self.destination)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.kept(), sorted(name for name, _ in FILES.values()))
        self.assertFalse([path for path in self.server.asked if path.startswith("/snapshot")])

    def test_the_snapshot_archive_serves_what_the_archive_dropped(self):
        self.archive_lists("debian", "bookworm", [sources_stanza("9.9.10-1~deb12u1", "pool/main/o/openssl", [])])
        self.snapshot_serves()
        run = self.run_script("fetch", self.destination)
        self.assertEqual(run.returncode, 0, run.stderr)
        for name, body in FILES.values():
            with open(os.path.join(self.destination, name), "rb") as file:
                self.assertEqual(file.read(), body)
        # A second run finds them there, checked, and asks nobody.
        asked = len(self.server.asked)
        self.assertEqual(self.run_script("fetch", self.destination).returncode, 0)
        self.assertEqual(len(self.server.asked), asked)

    def test_a_file_with_one_byte_changed_is_never_kept(self):
        self.snapshot_serves(changed_kind="orig")
        run = self.run_script("fetch", self.destination)
        self.assertEqual(run.returncode, 1)
        self.assertIn("openssl_9.9.9.orig.tar.gz from the snapshot archive does not match its SHA-256 in the pin", run.stderr)
        self.assertNotIn("openssl_9.9.9.orig.tar.gz", self.kept())

    def test_neither_archive_having_it_is_one_line_naming_the_pin_and_what_is_offered(self):
        self.archive_lists("debian", "bookworm", [sources_stanza("9.9.10-1~deb12u1", "pool/main/o/openssl", [])])
        run = self.run_script("fetch", self.destination)
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr.splitlines()[-1],
                         "openssl-source: the pinned source openssl 9.9.9-1~deb12u1 could not be downloaded: the archive "
                         "offers 9.9.10-1~deb12u1 (bookworm), and the snapshot archive cannot help (it has no such version)")

    def test_a_newer_revision_is_reported_with_the_files_that_cannot_be_fetched(self):
        newer = [("openssl_9.9.10-1~deb12u1.dsc", b"d"), ("openssl_9.9.10.orig.tar.gz", b"o"),
                 ("openssl_9.9.10-1~deb12u1.debian.tar.xz", b"p")]
        self.archive_lists("debian", "bookworm", [sources_stanza("9.9.9-1~deb12u1", "pool/main/o/openssl", FILES.values())])
        self.archive_lists("debian-security", "bookworm-security", [sources_stanza("9.9.10-1~deb12u1", "pool/updates/main/o/openssl", newer)])
        self.server.routes["/debian-security/pool/updates/main/o/openssl/openssl_9.9.10.orig.tar.gz"] = b"o"
        line = ("openssl-freshness: the archive offers openssl 9.9.10-1~deb12u1 (bookworm-security), newer than the pin "
                "9.9.9-1~deb12u1; of its files, openssl_9.9.10-1~deb12u1.dsc and openssl_9.9.10-1~deb12u1.debian.tar.xz "
                "could not be fetched: bump scripts/openssl-source.pin on purpose\n")
        run = self.run_script("freshness")
        self.assertEqual((run.returncode, run.stdout), (0, line))
        self.assertEqual(self.run_script("freshness", "--strict").returncode, 1)

    def test_the_pin_at_the_newest_revision_passes_even_when_strict(self):
        self.archive_lists("debian", "bookworm", [sources_stanza("9.9.9-1~deb12u1", "pool/main/o/openssl", FILES.values())])
        run = self.run_script("freshness", "--strict")
        self.assertEqual((run.returncode, run.stdout),
                         (0, "openssl-freshness: the pin openssl 9.9.9-1~deb12u1 is the newest revision the archive offers\n"))


if __name__ == "__main__":
    unittest.main()
