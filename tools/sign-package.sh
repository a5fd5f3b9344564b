#!/usr/bin/env bash
# Release step: Authenticode-signs every DLL and program of a driver package folder in place with
# osslsigncode (SHA-256), then verifies each signature. Run by the package target before it zips the
# folder; without a certificate it signs nothing and says so.
#
#   tools/sign-package.sh PACKAGE-DIR
#
# The certificate comes from the environment (never from the command line, which other users can read):
#   LBL_SIGN_PKCS12          a PKCS#12 file (.pfx) with the code-signing key and its certificate chain, or
#   LBL_SIGN_CERT, LBL_SIGN_KEY   the certificate (chain) and the private key as PEM files;
#   LBL_SIGN_PASS_FILE       optional: a file holding the password of the key or the PKCS#12 file;
#   LBL_SIGN_TIMESTAMP_URL   optional: an RFC 3161 time-stamp server, so that the signatures outlive the
#                            certificate (this is the step's only network access);
#   LBL_SIGN_CAFILE          optional: the CA certificates to verify against (default: the system's).
# The catalog lblv6.cat that the INF names is made and signed on Windows afterwards
# (tools/windows/sign-catalog.cmd), over the files signed here.
set -euo pipefail
pkg=${1:?usage: tools/sign-package.sh PACKAGE-DIR}
[ -d "$pkg" ] || { echo "sign-package: no folder $pkg" >&2; exit 2; }
[ -f "$pkg/lblv6.inf" ] || { echo "sign-package: $pkg is no driver package (no lblv6.inf)" >&2; exit 2; }

key=()
if [ -n "${LBL_SIGN_PKCS12:-}" ]; then
  key=(-pkcs12 "$LBL_SIGN_PKCS12")
elif [ -n "${LBL_SIGN_CERT:-}" ] || [ -n "${LBL_SIGN_KEY:-}" ]; then
  if [ -z "${LBL_SIGN_CERT:-}" ] || [ -z "${LBL_SIGN_KEY:-}" ]; then
    echo "sign-package: LBL_SIGN_CERT and LBL_SIGN_KEY go together" >&2
    exit 2
  fi
  key=(-certs "$LBL_SIGN_CERT" -key "$LBL_SIGN_KEY")
else
  echo "sign-package: no certificate given (LBL_SIGN_PKCS12, or LBL_SIGN_CERT and LBL_SIGN_KEY): $pkg stays unsigned"
  exit 0
fi
command -v osslsigncode >/dev/null || { echo "sign-package: osslsigncode is not installed (tools/install-deps.sh)" >&2; exit 2; }
[ -z "${LBL_SIGN_PASS_FILE:-}" ] || key+=(-readpass "$LBL_SIGN_PASS_FILE")
stamp=()
[ -z "${LBL_SIGN_TIMESTAMP_URL:-}" ] || stamp=(-ts "$LBL_SIGN_TIMESTAMP_URL")
verify=()
[ -z "${LBL_SIGN_CAFILE:-}" ] || verify=(-CAfile "$LBL_SIGN_CAFILE")

# The product name shown in Windows' signature details, from the INF's [Strings].
name=$(tr -d '\r' <"$pkg/lblv6.inf" | sed -n 's/^Disk="\(.*\) Disk"$/\1/p')
[ -n "$name" ] || name="Label printer driver"

signed=0
tmp=
trap '[ -z "$tmp" ] || rm -f "$tmp"' EXIT
while IFS= read -r -d '' file; do
  tmp=$file.signing
  # Signing a file that carries a signature already replaces it.
  osslsigncode sign "${key[@]}" "${stamp[@]}" -h sha256 -n "$name" -in "$file" -out "$tmp" >/dev/null
  mv "$tmp" "$file"
  if ! out=$(osslsigncode verify "${verify[@]}" -in "$file" 2>&1); then
    printf '%s\n' "$out" >&2
    echo "sign-package: the signature of $file does not verify" >&2
    exit 1
  fi
  signed=$((signed + 1))
done < <(find "$pkg" -type f \( -iname '*.dll' -o -iname '*.exe' \) -print0 | sort -z)
# A package whose binaries lie elsewhere than searched would otherwise ship unsigned as "signed".
if [ "$signed" -eq 0 ]; then
  echo "sign-package: no DLL or program found in $pkg: nothing signed" >&2
  exit 1
fi
echo "sign-package: $signed files in $pkg signed and verified"
