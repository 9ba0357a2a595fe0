#!/usr/bin/env bash
# Checks the manual page against the tool it describes: groff formats it without a warning,
# it carries the version that --version prints, and every command that --help lists has an
# entry. Usage: man_page_test.sh <tolvane-crypt> <tolvane-crypt.1>
set -euo pipefail
tool=$1
page=$2

warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns about $page:" >&2; echo "$warnings" >&2; exit 1; }

version=$("$tool" --version)
grep -qF "\"tolvane\\-crypt ${version#tolvane-crypt }\"" "$page" ||
  { echo "the page's header lacks the version of: $version" >&2; exit 1; }

commands=$("$tool" --help | awk 'tolower($0) ~ /^subcommands:/ { on = 1; next } on && /^$/ { on = 0 } on && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || { echo "no commands found in --help" >&2; exit 1; }
missing=0
for name in $commands; do
  roff=${name//-/\\\\-}  # a hyphen is \- in roff; doubled here for the pattern
  grep -qE "^\\.B[IR]? $roff( |\$)" "$page" || { echo "no entry for '$name'" >&2; missing=1; }
done
[ $missing -eq 0 ] && echo "manual page covers: $(echo $commands)"
