#!/usr/bin/env bash
# Compares one kelmo-convert call for several documents, with one LibreOffice (-j 1) and with
# its default pool, with one call per document.
#   scripts/bench-batch.sh KELMO_CONVERT DOCUMENT...
# Prints the wall time of each way, after a first run that prepares the profiles, and
# whether the pool wrote the same files as one LibreOffice.
set -euo pipefail
program=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache

# The documents under distinct names, so that each gets its own output folder.
inputs=()
n=0
for document in "$@"; do
    n=$((n + 1))
    cp "$document" "$work/$n-$(basename "$document")"
    inputs+=("$work/$n-$(basename "$document")")
done

seconds() { /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -1; }

"$program" --quiet --output "$work/warm" "${inputs[@]:0:8}"
one=$(seconds "$program" --quiet -j 1 --output "$work/one" "${inputs[@]}")
pool=$(seconds "$program" --quiet --output "$work/pool" "${inputs[@]}")
same=no
diff -r "$work/one" "$work/pool" >/dev/null && same=yes
start=$(date +%s.%N)
for input in "${inputs[@]}"; do
    "$program" --quiet --output "$work/each/$(basename "${input%.*}")" "$input"
done
each=$(echo "$(date +%s.%N) - $start" | bc)
echo "documents: ${#inputs[@]}"
echo "one call, -j 1:  $one s"
echo "one call:        $pool s (the same files: $same)"
echo "one call each:   $each s"
