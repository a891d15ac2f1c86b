#!/usr/bin/env bash
# Runs a command beside a private PulseAudio daemon whose only output is a null
# sink, so playback can be tested, and recorded from the sink's monitor, on a
# machine with no sound hardware and no desktop session.
#
#   scripts/with-pulseaudio.sh COMMAND [ARG...]
#
# The daemon lives in a fresh folder of its own (socket, cookie, state), which
# only the calling user can enter, so it never meets a desktop's own sound
# server. COMMAND runs with PULSE_SERVER pointing at it; the daemon is stopped
# and its folder removed when COMMAND ends, and COMMAND's exit status is kept.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARG...]" >&2
  exit 2
fi
for tool in pulseaudio pactl; do
  if ! command -v "$tool" >/dev/null; then
    echo "$0: $tool is not installed (Debian packages pulseaudio, pulseaudio-utils)" >&2
    exit 1
  fi
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/vantel-pulse-XXXXXX")
daemon_pid=
keeper_pid=
stop_daemon() {
  for pid in $keeper_pid $daemon_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$dir"
}
trap stop_daemon EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The daemon warns when started by root outside system mode; in its own folder
# with anonymous access to a socket nobody else can reach, that is safe here.
# No D-Bus, no realtime scheduling, no idle exit: nothing outside the folder.
env HOME="$dir" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir/config" \
    PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \
    DBUS_SESSION_BUS_ADDRESS=disabled: DBUS_SYSTEM_BUS_ADDRESS=disabled: \
    pulseaudio --daemonize=no --system=false -n --use-pid-file=no \
      --exit-idle-time=-1 --realtime=no --high-priority=no \
      --log-target=stderr \
      --load="module-null-sink sink_name=vantel_null" \
      --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
      2>"$dir/daemon.log" &
daemon_pid=$!

export PULSE_SERVER="unix:$dir/native"
export PULSE_COOKIE="$dir/cookie"

for _ in $(seq 100); do
  if pactl info >/dev/null 2>&1; then
    break
  fi
  if ! kill -0 "$daemon_pid" 2>/dev/null; then
    echo "$0: the PulseAudio daemon did not start:" >&2
    cat "$dir/daemon.log" >&2
    daemon_pid=
    exit 1
  fi
  sleep 0.1
done
if ! pactl info >/dev/null 2>&1; then
  echo "$0: the PulseAudio daemon did not answer within 10 s:" >&2
  cat "$dir/daemon.log" >&2
  exit 1
fi

# An idle null sink renders two seconds of silence ahead, and a stream that
# arrives then is heard only after it, unlike on a sound device. A silent
# low-latency stream, attached while the sink is suspended, keeps the sink
# running with a short buffer, so playback starts and ends on time.
pactl suspend-sink vantel_null 1
pacat --raw --format=s16le --rate=8000 --channels=1 --latency-msec=10 \
      --stream-name="keeps the sink running" </dev/zero &
keeper_pid=$!
for _ in $(seq 100); do
  if [ -n "$(pactl list short sink-inputs)" ]; then
    break
  fi
  sleep 0.05
done
pactl suspend-sink vantel_null 0

set +e
"$@"
status=$?
set -e
exit "$status"
