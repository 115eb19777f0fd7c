#!/usr/bin/env bash
# Authenticode-signs a PE file with one of the test certificates (no timestamp: nothing leaves the host).
#   sign.sh <osslsigncode> <pki directory> <certificate name> <input> <output>   (input may equal output)
set -euo pipefail
osslsigncode="$1" pki="$2" name="$3" input="$4" output="$5"
temporary="$output.signing"
rm -f "$temporary"
"$osslsigncode" sign -certs "$pki/$name-chain.pem" -key "$pki/$name.key" -h sha256 \
    -n "Ardenwick test" -in "$input" -out "$temporary" >/dev/null
mv -f "$temporary" "$output"
