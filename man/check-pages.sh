#!/bin/sh
# Every page given renders without a warning from man and groff, and has the
# sections a reader looks for first.
status=0
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "$page: $warnings"
    status=1
  fi
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null)
  for section in NAME SYNOPSIS DESCRIPTION; do
    if ! printf '%s\n' "$text" | grep -qx "$section"; then
      echo "$page: no $section section"
      status=1
    fi
  done
done
exit $status
