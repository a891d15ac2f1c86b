#!/usr/bin/env bash
# Times Vantel against the tools users would reach for instead, side by side in
# one run, and writes the table to bench/results.md.
#   W1: a 2000-word text at 20 WPM, 12000 samples/s, noise, 500 Hz filter at 800 Hz
#   W2: a ten-minute tone at 48000 samples/s, 100 Hz filter at 800 Hz
#   W3: W1 under band conditions: 5 ms edges, Farnsworth 15 WPM, 10 % jitter,
#       the moderate fading channel, 3 QRM stations and 2 QRN crashes a second
#   W4: W1 as the band really sounds: 4 QRM stations in QSOs, Class A static
#       with 2 stroke trains a second, 6 dB random QSB, the receiver, moderate fading
#   P1: a five-minute MP3 practice file from a 120-word text file (W1's first
#       words), at the default quality and at --quality 3 (about ebook2cw's size)
# Each command runs ROUNDS times, interleaved with the others; the best time counts.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${ROUNDS:-3}

need=()
for p in sox ebook2cw time bc; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${need[@]}"
fi
scripts/install-deps.sh
# BUILD_DIR: an optimised build folder of this tree to reuse (default build).
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" >/dev/null

gen=$PWD/$build/apps/vantel-gen/vantel-gen
windowBench=$PWD/$build/bench/window_run_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A fixed 2000-word practice text.
words=(THE QUICK BROWN FOX JUMPS OVER LAZY DOG PARIS CQ DE TEST RADIO MORSE SIGNAL NOISE 73 QTH RST NAME)
text=()
for i in $(seq 0 1999); do text+=("${words[$(( (i * 7 + i / 20) % ${#words[@]} ))]}"); done
echo "${text[*]}" > "$work/w1.txt"
echo "${text[*]:0:120}" > "$work/p1.txt"

now() { date +%s.%N; }
# best_time NAME COMMAND...: runs the command, keeps the shortest wall time in $work/NAME.time
best_time() {
  local name=$1; shift
  local start end t
  start=$(now); "$@" >"$work/$name.out" 2>&1; end=$(now)
  t=$(echo "$end - $start" | bc -l)
  if [ ! -f "$work/$name.time" ] || (( $(echo "$t < $(cat "$work/$name.time")" | bc -l) )); then
    echo "$t" > "$work/$name.time"
  fi
}
peak_kb() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

w1gen=("$gen" --message "$(cat "$work/w1.txt")" --wpm 20 --rate 12000 --filter-cf 800 --filter-bw 500 -o "$work/v1.wav")
w3gen=("${w1gen[@]}" --rise 5 --farnsworth 15 --jitter 10 --channel moderate --qrm 3 --qrn 2 -o "$work/v3.wav")
w4gen=("${w1gen[@]}" --qrm 4 --qrm-traffic qso --qrn 2 --qrn-model class-a --qsb-random 6 --receiver
       --channel moderate -o "$work/v4.wav")
w2gen=("$gen" --mode tone --tone-length 600 --rate 48000 --filter-cf 800 --filter-bw 100 -o "$work/v2.wav")

run_ebook2cw() { (cd "$work" && ebook2cw -X -w 20 -f 800 -s 12000 -N 0 -B 500 -C 800 -o eb w1.txt); }
p1gen=("$gen" --text-file "$work/p1.txt" --wpm 20 --rate 12000 --filter-cf 800 --filter-bw 500 -o "$work/p1.mp3")
p1small=("${p1gen[@]}" --quality 3 -o "$work/p1q3.mp3")
run_ebook2cw_mp3() { (cd "$work" && ebook2cw -w 20 -f 800 -s 12000 -o ebp p1.txt); }

"${w1gen[@]}" > /dev/null
w1samples=$(( ($(stat -c %s "$work/v1.wav") - 44) / 2 ))
w1seconds=$(echo "$w1samples / 12000" | bc -l)
w2samples=$(( 600 * 48000 ))
"${w3gen[@]}" > /dev/null
w3samples=$(( ($(stat -c %s "$work/v3.wav") - 44) / 2 ))
"${w4gen[@]}" > /dev/null
w4samples=$(( ($(stat -c %s "$work/v4.wav") - 44) / 2 ))

for _ in $(seq "$rounds"); do
  best_time vantel1 "${w1gen[@]}"
  best_time vantel3 "${w3gen[@]}"
  best_time vantel4 "${w4gen[@]}"
  best_time ebook2cw run_ebook2cw
  best_time sox1 sox -n -r 12000 -b 16 "$work/s1.wav" synth "$w1seconds" whitenoise synth "$w1seconds" sine mix 800 sinc 550-1050
  best_time vantel2 "${w2gen[@]}"
  best_time sox2 sox -n -r 48000 -b 16 "$work/s2.wav" synth 600 whitenoise synth 600 sine mix 800 sinc 750-850
  best_time vantelp1 "${p1gen[@]}"
  best_time vantelp1q3 "${p1small[@]}"
  best_time ebook2cwp1 run_ebook2cw_mp3
done
seconds() { printf %.2f "$(cat "$work/$1.time")"; }
kb() { echo $(( $(stat -c %s "$1") / 1024 )); }

# ebook2cw reports its own audio length ("total time: H:MM:SS").
ebtime=$(grep -o 'total time: [0-9:]*' "$work/ebook2cw.out" | tail -1 | awk '{print $3}')
ebseconds=$(echo "$ebtime" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
ebsamples=$(( ebseconds * 12000 ))
sox1samples=$(( ($(stat -c %s "$work/s1.wav") - 44) / 2 ))

rate() { echo "$1 / $(cat "$work/$2.time") / 1000000" | bc -l; }
v1=$(rate "$w1samples" vantel1); e1=$(rate "$ebsamples" ebook2cw); s1=$(rate "$sox1samples" sox1)
v2=$(rate "$w2samples" vantel2); s2=$(rate "$w2samples" sox2)
v3=$(rate "$w3samples" vantel3)
v4=$(rate "$w4samples" vantel4)
mem1=$(peak_kb "${w1gen[@]}"); mem2=$(peak_kb "${w2gen[@]}"); mem3=$(peak_kb "${w3gen[@]}"); mem4=$(peak_kb "${w4gen[@]}")
window=$(cd "$work" && QT_QPA_PLATFORM=offscreen "$windowBench" "$work/w1.txt" FilterCFtext=800 FilterBWtext=500 2>/dev/null || echo "window run not measured")

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
table=$(cat <<TABLE
| workload | tool | million samples/s | Vantel's ratio |
|---|---|---:|---:|
| W1 (2000 words, 20 WPM, 12 kHz, 500 Hz filter) | Vantel | $(printf %.1f "$v1") | |
| W1 | ebook2cw | $(printf %.1f "$e1") | $(printf %.1f "$(echo "$v1 / $e1" | bc -l)") |
| W1 | sox | $(printf %.1f "$s1") | $(printf %.1f "$(echo "$v1 / $s1" | bc -l)") |
| W3 (W1 with --rise 5 --farnsworth 15 --jitter 10 --channel moderate --qrm 3 --qrn 2) | Vantel | $(printf %.1f "$v3") | $(printf %.2f "$(echo "$v3 / $v1" | bc -l)") of W1 |
| W3 against W1 | ebook2cw | $(printf %.1f "$e1") | $(printf %.1f "$(echo "$v3 / $e1" | bc -l)") |
| W4 (W1 with --qrm 4 --qrm-traffic qso --qrn 2 --qrn-model class-a --qsb-random 6 --receiver --channel moderate) | Vantel | $(printf %.1f "$v4") | $(printf %.2f "$(echo "$v4 / $v1" | bc -l)") of W1 (goal 0.25) |
| W2 (10 min tone, 48 kHz, 100 Hz filter) | Vantel | $(printf %.1f "$v2") | |
| W2 | sox | $(printf %.1f "$s2") | $(printf %.1f "$(echo "$v2 / $s2" | bc -l)") |

| P1: five-minute MP3 practice file (120 words, 20 WPM, 12 kHz) | seconds | file size | Vantel's speed against ebook2cw |
|---|---:|---:|---:|
| Vantel, default quality (S/N 20 dB, filter 500 Hz) | $(seconds vantelp1) | $(kb "$work/p1.mp3") KB | $(printf %.2f "$(echo "$(cat "$work/ebook2cwp1.time") / $(cat "$work/vantelp1.time")" | bc -l)") |
| Vantel, --quality 3 | $(seconds vantelp1q3) | $(kb "$work/p1q3.mp3") KB | $(printf %.2f "$(echo "$(cat "$work/ebook2cwp1.time") / $(cat "$work/vantelp1q3.time")" | bc -l)") |
| ebook2cw (no noise, its default MP3) | $(seconds ebook2cwp1) | $(kb "$work/ebp0000.mp3") KB | |

Peak memory of vantel-gen: W1 $(( mem1 / 1024 )) MB, W2 $(( mem2 / 1024 )) MB, W3 $(( mem3 / 1024 )) MB, W4 $(( mem4 / 1024 )) MB.
Window run for W1's settings against vantel-gen: $window.
TABLE
)
echo "$table"
{
  echo "# Vantel against its peers"
  echo
  echo "Measured by \`bench/compare.sh\` on $(date -u +%Y-%m-%d), CPU: $cpu ($(nproc) cores), best of $rounds interleaved runs."
  echo
  echo "$table"
} > bench/results.md
