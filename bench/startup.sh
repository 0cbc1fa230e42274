#!/usr/bin/env bash
# Start-up cost of the program as a whole process: `webletter missing,silent` (a section that
# is not there, nothing reported, so the run is start-up, one settings read and exit) run
# WEBLETTER_STARTUP_RUNS times (default 50) for each program named, each from a folder of its
# own beside a small webletter.ini, after one run to warm the caches. Prints for each program
# the median and the mean wall time of one run and the number of shared libraries it loads.
#
#   bench/startup.sh build/package/src/app/webletter build/package-headless/src/app/webletter
set -euo pipefail
export LC_ALL=C  # a decimal point in $EPOCHREALTIME
runs="${WEBLETTER_STARTUP_RUNS:-50}"
[[ $# -gt 0 ]] || { echo "usage: bench/startup.sh PROGRAM..." >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for program in "$@"; do
  folder=$(mktemp -d "$work/program-XXXX")
  cp "$program" "$folder/webletter"
  printf '[Default]\nSMTPserver=mail.example.org\n' >"$folder/webletter.ini"
  "$folder/webletter" missing,silent || true
  times=()
  for ((i = 0; i < runs; i++)); do
    start=$EPOCHREALTIME
    "$folder/webletter" missing,silent || true
    end=$EPOCHREALTIME
    times+=("$start $end")
  done
  libraries=$(ldd "$folder/webletter" | grep -c '=>')
  printf '%s\n' "${times[@]}" | awk '{ printf "%.6f\n", ($2 - $1) * 1000 }' | sort -g | awk -v name="$program" -v n="$runs" -v libs="$libraries" '
    { t[NR] = $1; sum += $1 }
    END {
      median = (n % 2) ? t[(n + 1) / 2] : (t[n / 2] + t[n / 2 + 1]) / 2
      printf "%s: median %.2f ms, mean %.2f ms over %d runs, %d shared libraries\n",
             name, median, sum / n, n, libs
    }'
done
