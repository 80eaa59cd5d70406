# Runs the benchmarks on the display the environment names and prints one table, each figure
# the median of repeated runs beside its baseline or peer. scripts/bench runs it under
# scripts/with-xvfb and then under scripts/with-sway.
# Usage: bash scripts/lib/bench-table.sh x11|wayland   (BENCH_BUILD, BENCH_REPEATS set)
set -u
system="$1"
b="$BENCH_BUILD"
n="$BENCH_REPEATS"
. "$(dirname "${BASH_SOURCE[0]}")/bench-common.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# What differs between the two systems: the baseline program and the names the probe finds the
# windows by (X11 class or Wayland app_id), and the GLFW library the peer runs on.
if [ "$system" = wayland ]; then
  title="Wayland (headless sway)"
  baseline="$b/bench/bench_baseline_wayland"
  game_id=wrendle
  base_id=wrendleBaseline
  glfw_dir="${BENCH_GLFW_WAYLAND:-}"
else
  title="X11 (Xvfb)"
  baseline="$b/bench/bench_baseline"
  game_id=tkLibWClass
  base_id=wrendleBaseline
  glfw_dir=""
fi
# The peer on Wayland is the same binary with Debian's Wayland build of GLFW found first.
glfw_peer() {
  if [ "$system" = wayland ]; then
    [ -n "$glfw_dir" ] || return 1
    LD_LIBRARY_PATH="$glfw_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$b/bench/bench_glfw" "$@"
  else
    "$b/bench/bench_glfw" "$@"
  fi
}

echo "Running on $title: start-up and memory ($n runs each), frame work, loop, pacing (3 x 200 moves)..." >&2
for i in $(seq 1 "$n"); do
  "$b/bench/bench_probe" "$game_id" "$b/game/wrendle" >>"$tmp/probe.game"
  "$b/bench/bench_probe" "$base_id" "$baseline" present >>"$tmp/probe.base"
done
for i in $(seq 1 5); do
  "$b/bench/bench_kit" work 300 >>"$tmp/work.game"
  "$baseline" frames 300 >>"$tmp/work.base"
  "$b/bench/bench_kit" loop 1 >>"$tmp/loop.game"
  glfw_peer 1 >>"$tmp/loop.glfw"
done
start_game=$(cut -d" " -f1 "$tmp/probe.game" | median)
start_base=$(cut -d" " -f1 "$tmp/probe.base" | median)
rss_game=$(cut -d" " -f2 "$tmp/probe.game" | median)
rss_base=$(cut -d" " -f2 "$tmp/probe.base" | median)
work_game=$(median <"$tmp/work.game")
work_base=$(median <"$tmp/work.base")
loop_game=$(median <"$tmp/loop.game")
loop_glfw=$(median <"$tmp/loop.glfw")
for i in 1 2 3; do
  "$b/bench/bench_kit" pace 200 >>"$tmp/pace"
done
# The three runs have 200 moves each, so the mean of their means is the mean over all moves.
pace_mean=$(awk '{s += $1} END {printf "%.3f", s / NR}' "$tmp/pace")
pace_w=$(awk '{s += $2} END {printf "%.3f", s / NR}' "$tmp/pace")
pace_p99=$(cut -d" " -f3 "$tmp/pace" | median)
pace_nosleep=$(awk '{s += $4} END {print s}' "$tmp/pace")

awk -v title="$title" -v sg="$start_game" -v sb="$start_base" -v rg="$rss_game" \
  -v rb="$rss_base" -v wg="$work_game" -v wb="$work_base" -v lg="$loop_game" -v lf="$loop_glfw" \
  -v pm="$pace_mean" -v pp="$pace_p99" -v wl="$pace_w" -v ns="$pace_nosleep" -v n="$n" '
function verdict(ok) { return ok ? "met" : "NOT met" }
BEGIN {
  line = "+----------------------------+----------------+----------------+--------------------------------+---------+"
  print title
  print line
  printf "| %-26s | %14s | %14s | %-30s | %-7s |\n", "figure", "wrendle", "baseline/peer", "goal", "result"
  print line
  printf "| %-26s | %11.1f ms | %11.1f ms | %-30s | %-7s |\n", "start-up to first frame", sg, sb, "<= 1.2 x baseline (" sprintf("%.2f", sg/sb) ")", verdict(sg <= 1.2*sb)
  printf "| %-26s | %11.1f us | %11.1f us | %-30s | %-7s |\n", "frame work w (to glFinish)", wg, wb, "<= 1.2 x baseline (" sprintf("%.2f", wg/wb) ")", verdict(wg <= 1.2*wb)
  printf "| %-26s | %11.3f ms | %14s | %-30s | %-7s |\n", "pacing: w_loop", wl, "-", "none: work of the moving frame", "-"
  printf "| %-26s | %11.3f ms | %11.3f ms | %-30s | %-7s |\n", "pacing: mean move interval", pm, 83+wl, "within 0.5 ms of 83 + w_loop", verdict(pm-(83+wl) <= 0.5 && (83+wl)-pm <= 0.5)
  printf "| %-26s | %11.3f ms | %14s | %-30s | %-7s |\n", "pacing: p99 deviation", pp, "-", "<= 2 ms from 83 + w_loop", verdict(pp <= 2)
  if (lf == "nan")
    printf "| %-26s | %14.0f | %14s | %-30s | %-7s |\n", "idle calls per second", lg, "no peer", ">= GLFW peer", "-"
  else
    printf "| %-26s | %14.0f | %14.0f | %-30s | %-7s |\n", "idle calls per second", lg, lf, ">= GLFW peer", verdict(lg >= lf)
  printf "| %-26s | %11.1f MB | %11.1f MB | %-30s | %-7s |\n", "peak resident memory", rg/1024, rb/1024, "<= baseline + 5 MB", verdict(rg <= rb + 5*1024)
  print line
  printf "%d of 600 moving frames did not sleep.\n", ns
}'
