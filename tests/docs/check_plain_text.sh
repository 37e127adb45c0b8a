#!/usr/bin/env bash
# Fails on a control character other than tab, CR and LF in the documents
# people copy commands from: a stray one (a "\b" that a tool turned into a
# backspace) makes a pasted command go somewhere else.
#   tests/docs/check_plain_text.sh [source-root]
set -uo pipefail
ROOT=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
cd "$ROOT" || exit 2

status=0
for file in README.md sim/README.md $(find docs -type f \( -name '*.md' -o -name '*.txt' \) | sort); do
    [[ -f $file ]] || { echo "$file: missing"; status=1; continue; }
    while IFS= read -r hit; do
        echo "$file:${hit%%:*}: control character: $(cut -d: -f2- <<<"$hit" | cat -v)"
        status=1
    done < <(LC_ALL=C grep -naP '[\x00-\x08\x0b\x0c\x0e-\x1f\x7f]' "$file")
done
exit $status
