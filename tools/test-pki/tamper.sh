#!/usr/bin/env bash
# Changes one byte of a signed PE file inside the signed content (the first byte of the DOS stub's
# message, well after the headers the Authenticode digest skips), so the digest no longer matches.
#   tamper.sh <file>
set -euo pipefail
file="$1"
offset=$(grep -obUaP 'This program' "$file" | head -n 1 | cut -d: -f1)
if [ -z "$offset" ]; then
    echo "tamper.sh: no DOS stub message in $file" >&2
    exit 1
fi
printf 't' | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
