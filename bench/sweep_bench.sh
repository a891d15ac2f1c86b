#!/usr/bin/env bash
# Wall time of a 100-file decoder test set: 20 S/N values (-20 to 18 dB in
# steps of 2) times 5 messages of about 30 s each at 12 kHz, made with -j 1
# and with -j 2. Prints the best of three runs for each, with the CPU time
# used, since other work on the machine inflates the wall time.
#
#   bash bench/sweep_bench.sh [path to vantel-gen]
set -euo pipefail

gen=${1:-$PWD/build/apps/vantel-gen/vantel-gen}
[[ -x $gen ]] || { echo "no vantel-gen at $gen (build it, or give its path)" >&2; exit 1; }
gen=$(cd "$(dirname "$gen")" && pwd)/$(basename "$gen")

load=$(cut -d' ' -f1 /proc/loadavg)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "PARIS " is 48 elements: ten of them and a short call sign make about 30 s at 20 WPM.
for call in DL1ABC G4XYZ K2QRP JA1AA VK3ZZ; do
  printf '%s %s\n' "$call" "$(printf 'PARIS %.0s' {1..10})"
done >"$work/messages.txt"

sweep() {  # jobs, output folder
  "$gen" --sweep -q -j "$1" -o "$2" --snr -20:18:2 --messages "$work/messages.txt" --rate 12000 >/dev/null
}

# Prints "wall user+system" in seconds for the fastest of three runs.
best_run() {  # jobs
  local best= cpu= wall used
  for run in 1 2 3; do
    rm -rf "$work/out"
    read -r wall used < <( { TIMEFORMAT='%R %U %S'; time sweep "$1" "$work/out"; } 2>&1 | awk '{ print $1, $2 + $3 }')
    if [[ -z $best ]] || (( $(echo "$wall < $best" | bc -l) )); then best=$wall cpu=$used; fi
  done
  echo "$best $cpu"
}

read -r t1 c1 < <(best_run 1)
read -r t2 c2 < <(best_run 2)
files=$(( $(wc -l <"$work/out/manifest.csv") - 1 ))
samples=$(python3 -c "import csv,sys; print(sum(int(r['samples']) for r in csv.DictReader(open(sys.argv[1]))))" \
          "$work/out/manifest.csv")

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
cat <<TABLE
Sweep of $files files (S/N -20:18:2 x 5 messages, $(printf %.1f "$(echo "$samples / $files / 12000" | bc -l)") s of audio each on average,
12 kHz, 3000 Hz output filter) on $(nproc) cores ($cpu), load average before: $load.
Best of 3 by wall time:

| -j | wall time (s) | files/s | speed-up | CPU time (s) |
|---:|---:|---:|---:|---:|
| 1 | $(printf %.2f "$t1") | $(printf %.1f "$(echo "$files / $t1" | bc -l)") | 1.00 | $(printf %.2f "$c1") |
| 2 | $(printf %.2f "$t2") | $(printf %.1f "$(echo "$files / $t2" | bc -l)") | $(printf %.2f "$(echo "$t1 / $t2" | bc -l)") | $(printf %.2f "$c2") |
TABLE
