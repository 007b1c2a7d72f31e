#!/usr/bin/env bash
# Runs every fernrender command of the README's shell blocks, as a reader
# would: from a fresh copy of the repository with nothing beside it, with the
# fernrender of the build on the PATH.
set -uo pipefail
source_dir=$1
renderer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

clone=$work/fernwise
mkdir -p "$clone" "$work/bin"
tar -C "$source_dir" --exclude=./.git --exclude='./build*' --exclude=./out -cf - . | tar -C "$clone" -xf -
cp "$renderer" "$work/bin/fernrender"
export PATH="$work/bin:$PATH"

# The commands, continuation lines joined and comments dropped, from the
# ```sh blocks; a synopsis ("fernrender [options] ...") is no command. A block
# right after a "<!-- not run by the tests: REASON -->" line is left out (the
# recipes for many machines, which render images of minutes).
commands=$(awk '
    /^<!-- not run by the tests/ { skip = 1; next }
    /^```sh$/ { inside = !skip; skip = 0; next }
    /^```/ { inside = 0; next }
    { skip = 0 }
    inside {
        line = line $0
        if (sub(/\\$/, "", line)) next
        sub(/[ \t]+#.*$/, "", line)
        if (line ~ /^fernrender / && line !~ /\[options\]/) print line
        line = ""
    }' "$clone/README.md")

count=0
failed=0
while IFS= read -r command; do
  count=$((count + 1))
  output=${command##* }
  if ! (cd "$clone" && eval "$command" >/dev/null); then
    echo "FAIL: $command"
    failed=$((failed + 1))
  elif [[ $output != -* && ! -s $clone/$output ]]; then
    echo "FAIL: $command wrote no $output"
    failed=$((failed + 1))
  fi
done <<<"$commands"
echo "$count fernrender commands of the README, $failed failed"
[ "$count" -gt 0 ] && [ "$failed" -eq 0 ]
