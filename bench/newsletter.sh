#!/usr/bin/env bash
# What the newsletter keys cost a whole run: nginx serves a newsletter-like page (headings,
# paragraphs with links, a list, a table, images) of 1 MiB and of 20 MiB on loopback, Postfix's
# smtp-sink takes the mail, and `webletter SECTION,silent` runs by turns (interleaved)
# NEWSLETTER_RUNS times (default 11) without the keys, with PlainText=1, with AbsoluteLinks=1 and
# with both. Prints per page the median wall time and peak RSS of each and their ratio to the
# run without keys. Installs nginx, postfix and time when they are missing (root).
#
#   cmake --preset release && cmake --build --preset release -j2
#   bench/newsletter.sh build/release/src/app/webletter
set -euo pipefail
export LC_ALL=C  # a decimal point in $EPOCHREALTIME
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/release/src/app/webletter}")
runs="${NEWSLETTER_RUNS:-11}"
web_port="${NEWSLETTER_WEB_PORT:-18081}"
mail_port="${NEWSLETTER_MAIL_PORT:-18026}"
[[ -x "$program" ]] || { echo "newsletter.sh: no program at $program" >&2; exit 2; }
scripts/install-deps nginx postfix time

# shellcheck source=bench/loopback_servers.sh
source bench/loopback_servers.sh  # $work, pids and their clean-up on exit

mkdir -p "$work/www/news" "$work/nginx"
page() {  # page NAME BYTES
  python3 - "$work/www/news/$1" "$2" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2])
head = ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>News</title>'
        '<link rel="stylesheet" href="../style.css"><style>body{background:url(img/bg.png)}</style>'
        '</head><body><h1>The newsletter</h1>\n')
item = ('<h2>A story</h2><p>The quick brown fox jumps over the <a href="/story/1.html">lazy dog</a>, '
        'as the <a href="https://www.example.org/x">example</a> shows, caf&eacute; and all.</p>\n'
        '<p><img src="img/fox.png" alt="A fox" width="300"> <img src="/img/dog.png" alt=""></p>\n'
        '<ul><li>One point</li><li>Another <a href="more.html">point</a></li></ul>\n'
        '<table><tr><td>Cell</td><td><a href="t.html">Link</a></td></tr></table>\n')
body = head + item * ((size - len(head)) // len(item) + 1)
open(path, "w").write(body[: size - 15] + "</body></html>\n")
PY
}
page 1m.html $((1 << 20))
page 20m.html $((20 << 20))

start_loopback_servers "$web_port" "$mail_port"

mkdir "$work/program"
cp "$program" "$work/program/webletter"
kinds=(plain text links both)
{
  printf '[Default]\nSMTPserver=127.0.0.1:%s\nToAddress=reader@example.net\n' "$mail_port"
  printf 'FromAddress=news@example.org\nSubject=News\n'
  for size in 1m 20m; do
    url="http://127.0.0.1:$web_port/news/$size.html"
    printf '[%s-plain]\nURL=%s\nToName=Reader\n' "$size" "$url"
    printf '[%s-text]\nURL=%s\nToName=Reader\nPlainText=1\n' "$size" "$url"
    printf '[%s-links]\nURL=%s\nToName=Reader\nAbsoluteLinks=1\n' "$size" "$url"
    printf '[%s-both]\nURL=%s\nToName=Reader\nPlainText=1\nAbsoluteLinks=1\n' "$size" "$url"
  done
} >"$work/program/webletter.ini"

measure() {  # measure FILE COMMAND...: appends "wall-ms peak-KiB"
  local out=$1 start end
  shift
  start=$EPOCHREALTIME
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1 || echo "newsletter.sh: failed: $*" >&2
  end=$EPOCHREALTIME
  echo "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", (e - s) * 1000 }') $(tail -1 "$work/rss")" >>"$out"
}
median() {  # median FILE COLUMN
  awk -v c="$2" '{ print $c }' "$1" | sort -g | awk '{ v[NR] = $1 } END {
    print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for size in 1m 20m; do
  for kind in "${kinds[@]}"; do  # warm the caches
    "$work/program/webletter" "$size-$kind,silent" || echo "newsletter.sh: $size-$kind failed" >&2
  done
done
for ((i = 0; i < runs; i++)); do
  for size in 1m 20m; do
    for kind in "${kinds[@]}"; do
      measure "$work/$size-$kind" "$work/program/webletter" "$size-$kind,silent"
    done
  done
done

printf '%-6s %-7s %10s %8s %9s\n' page keys wall ratio "RSS MiB"
for size in 1m 20m; do
  base=$(median "$work/$size-plain" 1)
  for kind in "${kinds[@]}"; do
    w=$(median "$work/$size-$kind" 1)
    r=$(median "$work/$size-$kind" 2)
    awk -v p="$size" -v k="$kind" -v w="$w" -v b="$base" -v r="$r" 'BEGIN {
      printf "%-6s %-7s %8.1fms %7.2fx %9.1f\n", p, k, w, w / b, r / 1024 }'
  done
done
