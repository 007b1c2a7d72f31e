#!/usr/bin/env bash
# Drives the bash completion of fernrender as the shell would on Tab, with
# the fernrender of the build on the PATH.
set -uo pipefail
completion=$1
renderer=$2
for framework in /usr/share/bash-completion/bash_completion /etc/bash_completion; do
  [ -f "$framework" ] && break
done
if [ ! -f "$framework" ]; then
  echo "bash-completion is not installed"
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/files/sub"
cp "$renderer" "$work/bin/fernrender"
touch "$work/files/"{ember.map,OLD.MAP,notes.txt,picture.ppm,picture.png,index.pgm}
export PATH="$work/bin:$PATH"

# shellcheck disable=SC1090
source "$framework"
# shellcheck disable=SC1090
source "$completion"
cd "$work/files" || exit 1

failed=0
# complete LINE: the sorted candidates for the last word of LINE.
complete_line() {
  local line=$1
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -r -a COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _fernrender fernrender "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}
expect() {
  local line=$1 want=$2 got
  got=$(complete_line "$line")
  if [ "$got" != "$want" ]; then
    echo "FAIL '$line': got '$got', want '$want'"
    failed=1
  fi
}

# Every option of the help text, and only those.
want=$(fernrender --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u | paste -sd' ')
expect "fernrender --" "$want"
expect "fernrender --ver" "--version"
expect "fernrender --size 32x24 --ou" "--outside --outside-color"
# Choices, from the help text and from the completion's own lists.
expect "fernrender --outside " "binary fausto kirlian solid standard"
expect "fernrender --inside b" "bof33 bof34"
expect "fernrender --periodicity " "off on"
expect "fernrender --type Ma" "MagnetismIIQ MagnetismIIZ MagnetismIQ MagnetismIZ Mandelbrot"
expect "fernrender --display-bits " "16 24 32 8"
# Numbers are not file names.
expect "fernrender --iterations " ""
# Palettes by extension in either case, and folders.
expect "fernrender --map " "OLD.MAP ember.map sub"
# The output by the formats the help lists.
formats=$(fernrender --help | grep -c -E '^\s+\.(pgm|ppm|png)\s')
if [ "$formats" -eq 3 ]; then
  expect "fernrender --true-color " "index.pgm picture.png picture.ppm sub"
else
  expect "fernrender --true-color " "index.pgm picture.ppm sub"
fi

# An option the program learns later completes without an edit.
rm "$work/bin/fernrender"
cat >"$work/bin/fernrender" <<'EOF'
#!/bin/sh
printf '%s\n' 'Options:' '  --sparkle FILE        a new option' '  --shimmer on|off' '  .ppm   colours'
EOF
chmod +x "$work/bin/fernrender"
expect "fernrender --s" "--shimmer --sparkle"
expect "fernrender --shimmer " "off on"
expect "fernrender --sparkle " "OLD.MAP ember.map index.pgm notes.txt picture.png picture.ppm sub"

[ "$failed" -eq 0 ] && echo "fernrender's completion offers what its help lists"
exit "$failed"
