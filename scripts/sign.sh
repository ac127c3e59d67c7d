#!/usr/bin/env bash
# Signs a Windows program in place (Authenticode, SHA-256) with osslsigncode
# when a code-signing certificate is given, and does nothing otherwise:
#   TVDDS_SIGN_PKCS12    a PKCS#12 file with the certificate and its key, or
#   TVDDS_SIGN_CERT      the certificate (chain) as PEM, with
#   TVDDS_SIGN_KEY       its private key as PEM;
#   TVDDS_SIGN_PASSWORD  the password of the PKCS#12 file or of the key, if any,
#                        or TVDDS_SIGN_PASSWORD_FILE, a file that holds it (so
#                        that it need not stand in the environment at all).
# The signing time is SOURCE_DATE_EPOCH (the last commit's time), so that a
# signed build is reproducible too. No time stamp is added: the build has no
# network (see the README for adding one later).
#   usage: sign.sh FILE
set -euo pipefail
file=$1

if [ -n "${TVDDS_SIGN_PKCS12:-}" ]; then
  credentials=(-pkcs12 "$TVDDS_SIGN_PKCS12")
elif [ -n "${TVDDS_SIGN_CERT:-}" ]; then
  credentials=(-certs "$TVDDS_SIGN_CERT" -key "${TVDDS_SIGN_KEY:?TVDDS_SIGN_KEY goes with TVDDS_SIGN_CERT}")
else
  exit 0
fi

password=$(mktemp)
# osslsigncode writes a new file only; it goes beside the old one, which it
# then replaces.
scratch=$(mktemp -d "$file.XXXXXX")
signed=$scratch/signed
trap 'rm -rf "$password" "$scratch"' EXIT
# The password goes through a file only this user can read, never the
# command line, which every user of the machine can see.
if [ -n "${TVDDS_SIGN_PASSWORD_FILE:-}" ]; then
  [ -r "$TVDDS_SIGN_PASSWORD_FILE" ] ||
    { echo "sign.sh: cannot read TVDDS_SIGN_PASSWORD_FILE $TVDDS_SIGN_PASSWORD_FILE" >&2; exit 1; }
  password_file=$TVDDS_SIGN_PASSWORD_FILE
else
  printf '%s' "${TVDDS_SIGN_PASSWORD:-}" >"$password"
  password_file=$password
fi
osslsigncode sign "${credentials[@]}" -readpass "$password_file" -h sha256 \
  -time "${SOURCE_DATE_EPOCH:?the signing time comes from SOURCE_DATE_EPOCH}" \
  -in "$file" -out "$signed" >/dev/null
chmod --reference="$file" "$signed"
mv "$signed" "$file"
