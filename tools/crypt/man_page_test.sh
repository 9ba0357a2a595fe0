#!/usr/bin/env bash
# Checks the manual page against the tool it describes: groff formats it without a warning
# (go-md2man passes a paragraph's later line that starts with "." or "'" on as a request, which
# groff warns about and drops), it has the sections a manual page needs, its footer carries
# the version that --version prints, and every command that --help lists has an entry.
# Usage: man_page_test.sh <tolvane-crypt> <tolvane-crypt.1>
set -euo pipefail
tool=$1
page=$2

# -k: the page is UTF-8, read through preconv as man(1) reads it.
warnings=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns about $page:" >&2; echo "$warnings" >&2; exit 1; }
text=$(groff -k -man -Tutf8 -P-cbou "$page")

missing=0
for section in NAME SYNOPSIS DESCRIPTION SUBCOMMANDS OPTIONS ENVIRONMENT 'EXIT STATUS' \
  EXAMPLES 'SEE ALSO'; do
  grep -qx "$section" <<<"$text" || { echo "no section $section" >&2; missing=1; }
done
grep -qE '^ +tolvane-crypt +- +[A-Z]' <<<"$text" || { echo "no NAME line" >&2; missing=1; }

version=$("$tool" --version)
footer=$(grep -v '^$' <<<"$text" | tail -n 1)
[[ "$footer" == "$version "* ]] ||
  { echo "the page's footer lacks the version of '$version': $footer" >&2; missing=1; }

commands=$("$tool" --help | awk 'tolower($0) ~ /^subcommands:/ { on = 1; next } on && /^$/ { on = 0 } on && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || { echo "no commands found in --help" >&2; exit 1; }
for name in $commands; do
  grep -qE "^   $name( |\$)" <<<"$text" || { echo "no entry for '$name'" >&2; missing=1; }
done
[ $missing -eq 0 ] && echo "manual page covers: $(echo $commands)"
