#!/usr/bin/env bash
# The release step with a throwaway self-signed certificate: both programs
# come out signed (SHA-256) and verify against it, fare in the binaries check
# as the unsigned ones do, and give back the unsigned bytes once the
# signature is removed; a wrong password fails the step with a clear message
# and leaves no zip.
# The signed release stays in <folder> for the e2e case that starts it.
# CHECK_BINARIES_OPTIONS go to the binaries check (--no-budget).
#   signing.sh <release-zip.cmake> <check-binaries.sh> <unravel.exe> <dxprep.exe> <folder>
set -u -o pipefail
release_zip=$1 check_binaries=$2 unravel=$3 dxprep=$4 folder=$5

rm -rf "$folder"
mkdir -p "$folder/bad"
cd "$folder" || exit 1
failures=0
fail() {
  echo "FAIL: $1"
  failures=$((failures + 1))
}

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Unravel test signer" -addext extendedKeyUsage=codeSigning >/dev/null 2>&1 &&
openssl pkcs12 -export -in cert.pem -inkey key.pem -out cert.pfx -passout pass:test-password ||
  { echo "FAIL: openssl could not make the certificate"; exit 1; }

# release <folder> <password>
release() {
  env -u UNRAVEL_SIGN_TIMESTAMP_URL UNRAVEL_SIGN_PFX="$folder/cert.pfx" UNRAVEL_SIGN_PASSWORD="$2" \
    cmake -DOUTPUT_DIR="$1" -P "$release_zip"
}

# A wrong password: the step fails, says why, and no zip is left, not even
# one from before.
touch bad/Unravel-1.0.0.zip
if out=$(release "$folder/bad" wrong 2>&1); then
  fail "signing with a wrong password succeeded"
fi
grep -q "Signing failed: osslsigncode could not sign" <<<"$out" ||
  fail "no clear message for a wrong password: $out"
[[ -z $(ls -A bad) ]] || fail "a failed signing left $(ls -A bad)"

out=$(release "$folder" test-password 2>&1) || { echo "FAIL: signing failed: $out"; exit 1; }
stage=$folder/Unravel-1.0.0
for pair in "$unravel unravel.exe" "$dxprep dxprep.exe"; do
  read -r unsigned name <<<"$pair"
  osslsigncode verify -CAfile cert.pem -in "$stage/$name" >verify.log 2>&1 ||
    fail "$name does not verify against the certificate: $(cat verify.log)"
  grep -q "Message digest algorithm *: SHA256" verify.log || fail "$name is not signed with SHA-256"
  osslsigncode remove-signature -in "$stage/$name" -out "unsigned-$name" >/dev/null 2>&1 &&
    cmp -s "unsigned-$name" "$unsigned" || fail "$name without its signature is not the unsigned program"
  unzip -p Unravel-1.0.0.zip "Unravel-1.0.0/$name" | cmp -s - "$stage/$name" ||
    fail "the zip does not hold the signed $name"
done
# What the binaries check finds in the signed programs is what it finds in
# the unsigned ones (which binaries.check judges).
findings() {
  bash "$check_binaries" ${CHECK_BINARIES_OPTIONS:-} "$1" "$2" | grep '^FAIL' | sed 's/[0-9]* bytes/N bytes/'
}
diff <(findings "$unravel" "$dxprep") <(findings "$stage/unravel.exe" "$stage/dxprep.exe") >check.log ||
  fail "the binaries check finds more in the signed programs: $(cat check.log)"
sha256sum -c --quiet Unravel-1.0.0.zip.sha256 || fail "the checksum does not match the zip"

(( failures == 0 )) || exit 1
echo "signed, verified, checked; the signature comes off cleanly"
