#!/usr/bin/env bash
# The whole program against a plain curl pipeline, as processes: nginx serves the pages on
# loopback, Postfix's smtp-sink takes the mail, and every case runs `webletter SECTION,silent` and
# `curl -s URL | curl -s smtp://... -T -` by turns (interleaved), PIPELINE_RUNS times each
# (default 11). Prints per case the median wall times, their ratio and the peak RSS of each side
# (/usr/bin/time -f %M), then the start-up of `webletter missing,silent` against
# `curl --version`. Installs nginx, postfix and time when they are missing (root).
#
#   cmake --preset release && cmake --build --preset release -j2
#   bench/pipeline.sh build/release/src/app/webletter
set -euo pipefail
export LC_ALL=C  # a decimal point in $EPOCHREALTIME
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/release/src/app/webletter}")
runs="${PIPELINE_RUNS:-11}"
startup_runs="${PIPELINE_STARTUP_RUNS:-50}"
web_port="${PIPELINE_WEB_PORT:-18080}"
mail_port="${PIPELINE_MAIL_PORT:-18025}"
[[ -x "$program" ]] || { echo "pipeline.sh: no program at $program" >&2; exit 2; }
scripts/install-deps nginx postfix time curl

# shellcheck source=bench/loopback_servers.sh
source bench/loopback_servers.sh  # $work, pids and their clean-up on exit

# ---- The pages: a head with the marker, then lines of text.
mkdir -p "$work/www" "$work/nginx"
marker='<META NAME="webletterCheck" CONTENT="1">'
page() {  # page NAME BYTES LINE-END
  python3 - "$work/www/$1" "$2" "$3" "$marker" <<'EOF'
import sys
path, size, end, marker = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
end = {"lf": "\n", "crlf": "\r\n", "none": ""}[end]
head = f"<html><head>{marker}<title>News</title></head><body>{end}"
line = "<p>The quick brown fox jumps over the lazy dog, 0123456789.</p>" + end
if not end:
    line = "<span>The quick brown fox jumps over the lazy dog.</span> "
body = head + line * ((size - len(head)) // len(line) + 1)
body = body[: size - len(end) - 7] + "</html>" + end
open(path, "w", newline="").write(body[:size])
EOF
}
page 1k.html 1024 lf
page 1m.html $((1 << 20)) lf
page 20m.html $((20 << 20)) lf
page 20m-line.html $((20 << 20)) none
page 20m-crlf.html $((20 << 20)) crlf

start_loopback_servers "$web_port" "$mail_port"

# ---- The program in a folder of its own, one section per case.
mkdir "$work/program"
cp "$program" "$work/program/webletter"
{
  printf '[Default]\nSMTPserver=127.0.0.1:%s\nToAddress=reader@example.net\n' "$mail_port"
  printf 'FromAddress=news@example.org\nSubject=News\nCheckContent=1\n'
  for name in 1k 1m 20m 20m-line 20m-crlf; do
    printf '[%s]\nURL=http://127.0.0.1:%s/%s.html\nCheckContent=1\n' "$name" "$web_port" "$name"
  done
  printf '[20m-nocheck]\nURL=http://127.0.0.1:%s/20m.html\nCheckContent=0\n' "$web_port"
} >"$work/program/webletter.ini"

# Runs a command under /usr/bin/time; appends "wall-ms peak-KiB" to the file named first.
measure() {
  local out=$1
  shift
  local start end
  start=$EPOCHREALTIME
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1 || echo "pipeline.sh: failed: $*" >&2
  end=$EPOCHREALTIME
  echo "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", (e - s) * 1000 }') $(tail -1 "$work/rss")" >>"$out"
}

median() {  # median FILE COLUMN
  awk -v c="$2" '{ print $c }' "$1" | sort -g | awk '{ v[NR] = $1 } END {
    print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

cases=(1k 1m 20m 20m-line 20m-crlf 20m-nocheck)
pipe_page() { case $1 in 20m-nocheck) echo 20m ;; *) echo "$1" ;; esac; }
curl_pipeline() {
  curl -s "http://127.0.0.1:$web_port/$1.html" |
    curl -s "smtp://127.0.0.1:$mail_port" --mail-from news@example.org \
      --mail-rcpt reader@example.net -T -
}
export -f curl_pipeline
export web_port mail_port

for name in "${cases[@]}"; do  # warm the caches
  "$work/program/webletter" "$name,silent" || echo "pipeline.sh: webletter $name failed" >&2
done
for ((i = 0; i < runs; i++)); do
  for name in "${cases[@]}"; do
    measure "$work/w-$name" "$work/program/webletter" "$name,silent"
    measure "$work/c-$name" bash -c "curl_pipeline $(pipe_page "$name")"
  done
done

printf '%-12s %10s %10s %7s %10s %10s %10s\n' page webletter pipeline ratio "RSS MiB" "curl RSS" "RSS goal"
for name in "${cases[@]}"; do
  w=$(median "$work/w-$name" 1)
  c=$(median "$work/c-$name" 1)
  wr=$(median "$work/w-$name" 2)
  cr=$(median "$work/c-$name" 2)
  bytes=$(stat -c %s "$work/www/$(pipe_page "$name").html")
  awk -v n="$name" -v w="$w" -v c="$c" -v wr="$wr" -v cr="$cr" -v b="$bytes" 'BEGIN {
    printf "%-12s %8.1fms %8.1fms %6.2fx %10.1f %10.1f %10.1f\n", n, w, c, w / c, wr / 1024,
           cr / 1024, 1.5 * b / 1048576 + 30 }'
done
w=$(median "$work/w-20m" 1)
n=$(median "$work/w-20m-nocheck" 1)
awk -v w="$w" -v n="$n" 'BEGIN { printf "CheckContent=1 / CheckContent=0 at 20 MiB: %.3f\n", w / n }'

# ---- Start-up: a section that is not there, nothing reported.
for ((i = 0; i < startup_runs; i++)); do
  for side in w c; do
    start=$EPOCHREALTIME
    if [[ $side == w ]]; then
      "$work/program/webletter" missing,silent || true
    else
      curl --version >/dev/null
    fi
    end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", (e - s) * 1000 }' >>"$work/s-$side"
  done
done
sw=$(median "$work/s-w" 1)
sc=$(median "$work/s-c" 1)
awk -v w="$sw" -v c="$sc" 'BEGIN {
  printf "start-up: webletter missing,silent %.2f ms, curl --version %.2f ms, ratio %.2fx\n", w, c, w / c }'
