#!/usr/bin/env bash
# scripts/sign-launcher on a copy of kova-mcp.exe, with a throwaway
# self-signed code-signing certificate made here: the signature verifies
# against that certificate, removing it gives back the built bytes exactly,
# and the signed copy runs under Wine.
#   authenticode_test.sh KOVA-MCP.EXE SCRATCH-FOLDER
set -euo pipefail
exe=$1
work=$2
here=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() { echo "authenticode: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 1 -subj "/CN=kova-mcp test signer" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" 2>/dev/null
"$here/scripts/sign-launcher" --cert cert.pem --key key.pem "$exe" signed.exe

# The signed copy's bill of materials: the signed file's SHA-256, the built
# one's as a property, a serial number of its own, valid CycloneDX 1.5.
bill=signed.cdx.json
grep -q "\"content\" : \"$(sha256sum < signed.exe | cut -d' ' -f1)\"" "$bill" || fail "$bill does not name the signed file's SHA-256"
grep -q "\"value\" : \"$(sha256sum < "$exe" | cut -d' ' -f1)\"" "$bill" || fail "$bill does not name the built file's SHA-256"
[ "$(grep serialNumber "$bill")" != "$(grep serialNumber "${exe%.exe}.cdx.json")" ] || fail "$bill has the build's serial number"
node "$here/scripts/check-sbom.mjs" "$bill" >/dev/null || fail "$(node "$here/scripts/check-sbom.mjs" "$bill")"
# Signed again, the same bytes: the signing time is the build's.
"$here/scripts/sign-launcher" --cert cert.pem --key key.pem "$exe" again/signed.exe >/dev/null
cmp -s signed.exe again/signed.exe && cmp -s "$bill" again/signed.cdx.json || fail "signing the same build twice gave other bytes"

osslsigncode verify -CAfile cert.pem -in signed.exe > verify.txt 2>&1 || fail "osslsigncode verify failed: $(tail -n 3 verify.txt)"
grep -q "^Signature verification: ok" verify.txt || fail "the signature did not verify"
grep -q "Subject: /CN=kova-mcp test signer" verify.txt || fail "the signer is not the test certificate"

osslsigncode remove-signature -in signed.exe -out unsigned.exe >/dev/null
[ "$(sha256sum < unsigned.exe)" = "$(sha256sum < "$exe")" ] || fail "removing the signature does not give back the built bytes"

# A publisher's PKCS#12 file: a wrong pass phrase or a missing input is one
# line of the script's own and exit code 1; the right one signs into a
# folder that does not exist yet. The lines are judged by what they say, not
# by one osslsigncode's words (Debian 12's 2.5 and backports' 2.9 differ).
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.p12 -passout pass:right
echo wrong > wrong-pass.txt
echo right > right-pass.txt
expect_refusal() {
  local expected=$1; shift
  local status=0
  "$here/scripts/sign-launcher" "$@" 2>err.txt >/dev/null || status=$?
  [ "$status" -eq 1 ] || fail "sign-launcher $* exited with $status, not 1"
  [ "$(wc -l < err.txt)" -eq 1 ] && grep -qE "$expected" err.txt || fail "sign-launcher $* said: $(cat err.txt)"
}
signing_failed="^sign-launcher: osslsigncode could not sign $(sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$exe"): "
expect_refusal "${signing_failed}.*PKCS#12 file: cert\.p12 .*[Ww]rong password" \
  --pkcs12 cert.p12 --pass-file wrong-pass.txt "$exe" wrong.exe
expect_refusal "^sign-launcher: missing\.p12: no such file$" --pkcs12 missing.p12 --pass-file right-pass.txt "$exe" missing.exe
expect_refusal "${signing_failed}.*([Cc]ould ?n.t connect|[Ff]ailed to get data).* http://127\.0\.0\.1:9$" \
  --pkcs12 cert.p12 --pass-file right-pass.txt --timestamp http://127.0.0.1:9 "$exe" unreachable/stamp/x.exe
[ ! -e wrong.exe ] && [ ! -e missing.exe ] || fail "a refused signing left an output file"
[ ! -e unreachable ] || fail "a refused signing left the folders it made"
"$here/scripts/sign-launcher" --pkcs12 cert.p12 --pass-file right-pass.txt "$exe" dist/signed.exe >/dev/null
[ -f dist/signed.exe ] || fail "no dist/signed.exe"

status=0
"$here/scripts/wine-run" signed.exe </dev/null >out.txt 2>err.txt || status=$?
[ "$status" -eq 2 ] || fail "the signed copy exited with $status, not 2"
[ "$(cat err.txt)" = "Usage: kova-mcp lumenframe" ] || fail "the signed copy wrote: $(cat err.txt)"
[ ! -s out.txt ] || fail "the signed copy wrote to standard output"
echo "authenticode: signed, verified, unsigned to the same bytes, its bill valid, signed twice alike, run under Wine; bad inputs refused in one line"
rm -rf "$work"
