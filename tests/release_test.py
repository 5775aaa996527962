#!/usr/bin/env python3
"""scripts/release with a fresh release key and a throwaway code-signing
certificate: each bad input is one line and exit code 1, with nothing
written; a release is a folder whose SHA256SUMS holds, whose signed exe
carries its version and a valid bill of materials naming it, and whose
signature removed gives back the build's bytes.

    release_test.py      (after the tool preset is built: scripts/test)
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RELEASE = os.path.join(ROOT, "scripts", "release")
TOOL = os.path.join(ROOT, "build", "tool", "bin", "kova-make-release")
VERSION = "2.1.3"
SHIPPED = ["SHA256SUMS", "kova-make-release", "kova-make-release.exe", "kova-mcp.cdx.json", "kova-mcp.exe"]


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def sha256(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def version_resource_strings(exe):
    """{name: value} of the version resource's string table (UTF-16LE)."""
    with open(exe, "rb") as file:
        text = file.read().decode("utf-16-le", "replace")
    return dict(re.findall(r"(ProductVersion|FileVersion|CompanyName)\x00+([^\x00]+)\x00", text))


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                        "-out", cls.path("release.pem")], check=True, capture_output=True)
        cls.key = run(TOOL, "public-key", "--key", cls.path("release.pem")).stdout.strip()
        cls.test_key = run(TOOL, "public-key", "--key", os.path.join(ROOT, "tests", "keys", "release-test-key.pem")).stdout.strip()
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Trial code signing",
                        "-addext", "extendedKeyUsage=codeSigning", "-keyout", cls.path("sign.pem"), "-out", cls.path("sign.crt")],
                       check=True, capture_output=True)
        with open(cls.path("pass.txt"), "w", encoding="utf-8") as file:
            file.write("trial pass phrase\n")
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", cls.path("sign.pem"), "-in", cls.path("sign.crt"),
                        "-passout", f"file:{cls.path('pass.txt')}", "-out", cls.path("sign.p12")], check=True)

    @classmethod
    def path(cls, name):
        return os.path.join(cls.folder.name, name)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def release(self, *arguments, version=VERSION, key=None, out=None):
        return run(RELEASE, "--version", version, "--public-key", key or self.key, "--company", "Tessarine",
                   *arguments, "--out", out or self.path("dist"))

    def test_each_bad_input_is_one_line_and_nothing_is_written(self):
        full = self.path("full")
        os.makedirs(full, exist_ok=True)
        with open(os.path.join(full, "earlier.txt"), "w", encoding="utf-8") as file:
            file.write("a file of the publisher's\n")
        rows = [
            # (arguments, what the line says)
            (dict(version="2.1"), 'release: --version "2.1" is not a release version X.Y.Z'),
            (dict(version="v2.1.3"), 'release: --version "v2.1.3" is not a release version X.Y.Z'),
            (dict(version="1.70000.0"), 'release: KOVA_VERSION "1.70000.0" cannot be carried by a Windows version resource: '
                                        "70000 is over 65535"),
            (dict(key="TEST"), "release: KOVA_RELEASE_PUBLIC_KEY is the public half of the test key in tests/keys, "
                               "whose private half is public: a release build never trusts it"),
            (dict(key="QUJD"), "release: KOVA_RELEASE_PUBLIC_KEY is no key kova-mcp can use: "),
            (dict(arguments=("--pkcs12", self.path("missing.p12"))), f"release: {self.path('missing.p12')}: no such file (--pkcs12)"),
            (dict(arguments=("--cert", self.path("sign.crt"))), "release: --cert needs --key, the certificate's private key"),
            (dict(out=full), f"release: {full} already holds files: give a new or empty folder"),
        ]
        for given, line in rows:
            with self.subTest(line=line):
                out = given.get("out", self.path("refused"))
                key = self.test_key if given.get("key") == "TEST" else given.get("key")
                done = self.release(*given.get("arguments", ()), version=given.get("version", VERSION), key=key, out=out)
                self.assertEqual(done.returncode, 1, done.stderr)
                self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
                self.assertTrue(done.stderr.startswith(line), done.stderr)
                self.assertEqual(os.listdir(out) if os.path.isdir(out) else [], ["earlier.txt"] if out == full else [])

    def test_a_signed_release_verifies_and_unsigns_to_the_build(self):
        dist = self.path("dist")
        done = self.release("--pkcs12", self.path("sign.p12"), "--pass-file", self.path("pass.txt"), out=dist)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(sorted(os.listdir(dist)), SHIPPED)
        checked = run("sha256sum", "-c", "SHA256SUMS", cwd=dist)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertEqual(len(checked.stdout.splitlines()), 4)

        exe, bill = os.path.join(dist, "kova-mcp.exe"), os.path.join(dist, "kova-mcp.cdx.json")
        valid = run("node", os.path.join(ROOT, "scripts", "check-sbom.mjs"), bill)
        self.assertEqual(valid.returncode, 0, valid.stdout)
        with open(bill, encoding="utf-8") as file:
            described = json.load(file)["metadata"]["component"]
        self.assertEqual(described["hashes"][0]["content"], sha256(exe))
        self.assertEqual(described["version"], VERSION)
        self.assertEqual(version_resource_strings(exe),
                         {"CompanyName": "Tessarine", "FileVersion": VERSION, "ProductVersion": VERSION})

        verified = run("osslsigncode", "verify", "-CAfile", self.path("sign.crt"), "-in", exe)
        self.assertIn("Signature verification: ok", verified.stdout + verified.stderr)
        unsigned = self.path("unsigned.exe")
        run("osslsigncode", "remove-signature", "-in", exe, "-out", unsigned)
        built = os.path.join(ROOT, "build", "release", "bin", "kova-mcp.exe")
        self.assertEqual(sha256(unsigned), sha256(built))
        unsigned_property = {p["name"]: p["value"] for p in described["properties"]}["kova:unsigned-sha256"]
        self.assertEqual(sha256(unsigned), unsigned_property)


if __name__ == "__main__":
    unittest.main()
