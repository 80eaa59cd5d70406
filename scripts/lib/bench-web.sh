# Runs the web benchmarks (bench/web_bench.js) in headless Chromium and prints the web table,
# each figure the median of repeated runs beside the peer page's, in the style of the X11 and
# Wayland tables (bench-table.sh). scripts/bench runs it after building the web bench build.
# Usage: bash scripts/lib/bench-web.sh   (BENCH_WEB_BUILD, BENCH_REPEATS set)
set -u
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
b="$BENCH_WEB_BUILD"
n="$BENCH_REPEATS"
. "$root/scripts/lib/bench-common.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "Running in headless Chromium: first frame ($n runs each), frame work (5 x 100 frames), pacing (3 x 200 moves)..." >&2
# The page's test support finds puppeteer-core in tests/web/node_modules.
node "$root/bench/web_bench.js" "$b/game" "$b/bench" "$root/data/web" "$n" >"$tmp/runs" || exit 1

runs() { awk -v what="$1" -v who="$2" '$1 == what && $2 == who {print $3}' "$tmp/runs"; }
first_game=$(runs first game | median)
first_peer=$(runs first peer | median)
work_game=$(runs work game | median)
work_peer=$(runs work peer | median)
size_game=$(runs size game)
size_peer=$(runs size peer)
differ=$(awk '$1 == "differ" {print $2}' "$tmp/runs")
# The three runs have 200 moves each, so the mean of their means is the mean over all moves.
pace_mean=$(awk '$1 == "pace" {s += $2; k++} END {printf "%.3f", s / k}' "$tmp/runs")
pace_w=$(awk '$1 == "pace" {s += $3; k++} END {printf "%.3f", s / k}' "$tmp/runs")
pace_p99=$(awk '$1 == "pace" {print $4}' "$tmp/runs" | median)
pace_nosleep=$(awk '$1 == "pace" {s += $5} END {print s}' "$tmp/runs")

awk -v fg="$first_game" -v fp="$first_peer" -v wg="$work_game" -v wp="$work_peer" \
  -v sg="$size_game" -v sp="$size_peer" -v pm="$pace_mean" -v pp="$pace_p99" -v wl="$pace_w" \
  -v ns="$pace_nosleep" -v differ="$differ" '
function verdict(ok) { return ok ? "met" : "NOT met" }
BEGIN {
  line = "+----------------------------+----------------+----------------+--------------------------------+---------+"
  print "Web (headless Chromium, WebGL on SwiftShader)"
  print line
  printf "| %-26s | %14s | %14s | %-30s | %-7s |\n", "figure", "wrendle", "peer", "goal", "result"
  print line
  printf "| %-26s | %11.1f ms | %11.1f ms | %-30s | %-7s |\n", "navigation to first frame", fg, fp, "<= 1.2 x peer (" sprintf("%.2f", fg/fp) ")", verdict(fg <= 1.2*fp)
  printf "| %-26s | %11.1f us | %11.1f us | %-30s | %-7s |\n", "frame work w (to glFinish)", wg, wp, "<= 1.5 x peer (" sprintf("%.2f", wg/wp) ")", verdict(wg <= 1.5*wp)
  printf "| %-26s | %11.3f ms | %14s | %-30s | %-7s |\n", "pacing: w_loop", wl, "-", "none: work of the moving frame", "-"
  printf "| %-26s | %11.3f ms | %11.3f ms | %-30s | %-7s |\n", "pacing: mean move interval", pm, 83+wl, "within 1 ms of 83 + w_loop", verdict(pm-(83+wl) <= 1 && (83+wl)-pm <= 1)
  printf "| %-26s | %11.3f ms | %14s | %-30s | %-7s |\n", "pacing: p99 deviation", pp, "-", "<= 1 ms from 83 + w_loop", verdict(pp <= 1)
  printf "| %-26s | %11.1f KB | %11.1f KB | %-30s | %-7s |\n", "page transfer (gzip -9)", sg/1024, sp/1024, "< 150 KB (" sprintf("%.2f", sg/sp) " x peer)", verdict(sg < 150*1024)
  print line
  printf "%d of 600 moving frames did not sleep. The peer drew the game'"'"'s first frame with %d pixels different.\n", ns, differ
}'
