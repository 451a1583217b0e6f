#!/usr/bin/env bash
# Prints which source folder includes which (from the #include lines), one edge per line with
# the number of include lines behind it, and any pair of folders that include each other.
set -euo pipefail
cd "$(dirname "$0")/.."
dirs=$(for d in */; do d=${d%/}; case $d in build*|tests|scripts|res) ;; *) [ -n "$(ls $d/*.cpp $d/*.h 2>/dev/null)" ] && echo "$d";; esac; done)
edges=$(for d in $dirs; do
  grep -ho '^#include "[a-z]*/' $d/*.cpp $d/*.h 2>/dev/null | sed 's/#include "//; s/\/$//' |
    grep -v "^$d\$" | sort | uniq -c | awk -v d="$d" '{print d " -> " $2 " (" $1 ")"}'
done)
echo "$edges"
echo "--- both ways:"
echo "$edges" | awk '{print $1, $3}' | while read a b; do
  if echo "$edges" | grep -q "^$b -> $a "; then [[ "$a" < "$b" ]] && echo "$a <-> $b"; fi
done; true
