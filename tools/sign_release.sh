#!/usr/bin/env bash
# Signs the release program in place with Authenticode (SHA-256):
#
#   tools/sign_release.sh <Fetchlet.exe> <key.pem> <certificate chain.pem> [time-stamp URL]
#
# The chain holds the signer's certificate first, then the ones that lead to
# its root, so that a machine can build the chain from the file alone. The
# signature's description names the program and its publisher's address
# (FETCHLET_SIGN_NAME and FETCHLET_SIGN_URL change them); a key protected by
# a password reads it from the file FETCHLET_SIGN_PASSWORD_FILE names. With a
# time-stamp server (RFC 3161) the signature outlives the certificate.
# A file already signed gets the new signature in place of the old one.
# Exit status: 0 when signed, 2 for a bad command line, 1 when signing failed
# (the file is then left as it was).
set -euo pipefail

SIGN_NAME=${FETCHLET_SIGN_NAME:-Fetchlet}
SIGN_URL=${FETCHLET_SIGN_URL:-https://www.fetchlet.invalid/}
# Signing reads a few files; a time stamp waits on its server, bounded here.
SIGN_TIMEOUT=120

if [ $# -lt 3 ] || [ $# -gt 4 ]; then
  echo "usage: $0 <Fetchlet.exe> <key.pem> <certificate chain.pem> [time-stamp URL]" >&2
  exit 2
fi
program=$1 key=$2 chain=$3 timestamp_url=${4:-}
for file in "$program" "$key" "$chain"; do
  if [ ! -f "$file" ]; then
    echo "sign_release: no such file: $file" >&2
    exit 2
  fi
done

options=(-h sha256 -n "$SIGN_NAME" -i "$SIGN_URL" -certs "$chain" -key "$key")
[ -n "${FETCHLET_SIGN_PASSWORD_FILE:-}" ] && options+=(-readpass "$FETCHLET_SIGN_PASSWORD_FILE")
[ -n "$timestamp_url" ] && options+=(-ts "$timestamp_url")

# Signed beside the program and moved over it: a failed run leaves no half file.
signed=$(mktemp "$(dirname "$program")/.signing-XXXXXX")
trap 'rm -f "$signed"' EXIT
rm -f "$signed"   # osslsigncode writes a file of its own
if ! timeout "$SIGN_TIMEOUT" osslsigncode sign "${options[@]}" -in "$program" -out "$signed" >/dev/null; then
  echo "sign_release: signing $program failed" >&2
  exit 1
fi
chmod --reference="$program" "$signed"
mv -f "$signed" "$program"
echo "signed: $program ($SIGN_NAME, $SIGN_URL${timestamp_url:+, time stamp from $timestamp_url})"
