#!/usr/bin/env bash
# Counts the lines (and files) of program code outside tests that name one engine by name.
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' | grep -v '^tests/')
pat='google|altavista|lycos|looksmart'
echo "lines: $(grep -Eil "$pat" $files | xargs grep -Eic "$pat" | awk -F: '{s+=$2} END {print s}')"
echo "files: $(grep -Eil "$pat" $files | wc -l)"
grep -Eil "$pat" $files | xargs grep -Eic "$pat" | sort -t: -k2 -nr
