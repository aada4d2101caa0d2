#!/bin/sh
# Writes a program's gzipped manual page from its own --help text.
# man-page.sh PROGRAM "what it is" VERSION OUTPUT.1.gz
set -eu
program=$1
name=$2
version=$3
output=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
include="$work/include"

# A command line of verbs describes each verb with 'VERB --help'; its page carries them all,
# kept as they are printed.
verbs=$("$program" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
if [ -n "$verbs" ]; then
    echo "[COMMANDS]" >>"$include"
    for verb in $verbs; do
        printf '.SS %s\n.nf\n' "$verb"
        "$program" "$verb" --help | sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
        printf '.fi\n'
    done >>"$include"
fi

set -- --no-info --section=1 --version-string="$version" --name="$name" --output="$work/page.1"
if [ -s "$include" ]; then
    set -- "$@" --include="$include"
fi
help2man "$@" "$program"
gzip -9n -c "$work/page.1" >"$output"
