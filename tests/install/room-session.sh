# Sourced by the checks that use the built program as an invigilator does:
# an X server (Xvfb) of their own, the program started in its folder, its
# first subject chosen and the run started with keyboard and mouse, and the
# tests' null sink recorded while it plays, each onset placed on the wall
# clock by the onset benchmark's recorder. A Windows build's programs run
# under Wine, in a Wine prefix of the check's own.
#
# Set before sourcing: build (the build folder), work (the check's temporary
# folder). The check's EXIT trap calls session_end. PULSE_SERVER names the
# sound server that holds testsink.
# shellcheck shell=bash

# shellcheck disable=SC2154 # set by the check that sources this
session_prefix=${work:?}/wine
session_wine=$(cd "$(dirname "${BASH_SOURCE[0]}")/../windows" && pwd)/wine-run
session_windows=0
[ -f "${build:?}/bin/tessivox.exe" ] && session_windows=1
session_xvfb="" session_program="" session_parec="" session_recorder=""

session_end() {
  local pid
  for pid in $session_parec $session_recorder $session_program; do
    kill "$pid" 2>/dev/null || true
  done
  WINEPREFIX=$session_prefix wineserver -k 2>/dev/null || true
  for pid in $session_parec $session_recorder $session_program $session_xvfb; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  session_xvfb="" session_program="" session_parec="" session_recorder=""
}

session_fail() {
  echo "$(basename "$0"): $*" >&2
  exit 1
}

# session_run PROGRAM [ARGUMENTS...]: PROGRAM named without .exe, under
# Wine in the session's prefix for a Windows build.
session_run() {
  local program=$1
  shift
  if [ "$session_windows" -eq 1 ]; then
    "$session_wine" "$session_prefix" "$program.exe" "$@"
  else
    "$program" "$@"
  fi
}

# A folder as the build's programs name it: Wine's Z: drive is the root.
session_path() {
  if [ "$session_windows" -eq 1 ]; then echo "Z:$1"; else echo "$1"; fi
}

# Before any Windows program runs in the prefix: the first one starts Wine's
# desktop there on the display it finds, and one started without any keeps
# every later window off the X server.
session_start_display() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
  session_xvfb=$!
  exec 3>&-
  local _
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || session_fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  DISPLAY=:$(cat "$work/display")
  export DISPLAY
}

# session_start_program FOLDER [NAME=VALUE...]: the program of FOLDER,
# started there as its shortcut does, on the session's display, with the
# system's platform (never the offscreen one the other tests set); sets
# main_window once it shows.
session_start_program() {
  local folder=$1
  shift
  (
    cd "$folder" || exit
    unset QT_QPA_PLATFORM
    if [ "$session_windows" -eq 1 ]; then
      exec env "$@" "$session_wine" "$session_prefix" tessivox.exe
    fi
    exec env "$@" ./tessivox
  ) >"$work/program.log" 2>&1 &
  session_program=$!
  local _ window
  for _ in $(seq 600); do
    # A message box of the same caption comes before the main window, if
    # the database cannot be opened: the main window holds the subject's list.
    for window in $(xdotool search --onlyvisible --name '^Tessivox$' 2>/dev/null); do
      if [ "$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')" -ge 400 ]; then
        main_window=$window
        return 0
      fi
    done
    kill -0 "$session_program" 2>/dev/null ||
      session_fail "the program ended: $(cat "$work/program.log")"
    sleep 0.2
  done
  session_fail "no main window appeared: $(cat "$work/program.log")"
}

# session_start_run WINDOW RUN_LOG: chooses the first subject of the main
# window's list and starts its run; waits for the run log to say so.
session_start_run() {
  local window=$1 log=$2 _ size width height x y
  # The window's inside is 405 by 200; Wine without a window manager draws
  # the frame and caption within the X window, equal at the sides and below.
  size=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
  width=${size%x*} height=${size#*x}
  x=$(((width - 405) / 2))
  y=$((height - 200 - x))
  # Over the window, which takes the keys then: the list holds the focus.
  xdotool mousemove --window "$window" $((x + 200)) $((y + 30)) click 1
  sleep 0.5
  xdotool key Down
  sleep 0.5
  # The OK button (确定).
  xdotool mousemove --window "$window" $((x + 63)) $((y + 182)) click 1
  for _ in $(seq 100); do
    grep -q $'\trun started\t' "$log" 2>/dev/null && return 0
    sleep 0.2
  done
  session_fail "the run did not start; windows shown: $(session_windows)"
}

session_windows() {
  local window
  for window in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    printf '[%s %s] ' "$(xdotool getwindowname "$window")" \
      "$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')"
  done
}

# session_wait_line RUN_LOG PATTERN SECONDS: the run log's first line that
# matches the extended regular expression, without its carriage return.
session_wait_line() {
  local log=$1 pattern=$2 seconds=$3 line _
  for _ in $(seq $((seconds * 5))); do
    line=$(tr -d '\r' <"$log" 2>/dev/null | grep -E -m 1 "$pattern") && {
      echo "$line"
      return 0
    }
    kill -0 "$session_program" 2>/dev/null ||
      session_fail "the program ended: $(cat "$work/program.log")"
    sleep 0.2
  done
  session_fail "the run log never said /$pattern/: $(tr -d '\r' <"$log")"
}

# Starts recording testsink's monitor into FOLDER, each read stamped on
# arrival. Only a low-latency recorder brings an idle null sink's play
# position close to the wall clock.
session_record() {
  local folder=$1 _
  mkdir -p "$folder"
  mkfifo "$folder/pcm"
  session_run "$build/bin/tessivox-bench-onset" record "$(session_path "$folder")" <"$folder/pcm" &
  session_recorder=$!
  parec --device=testsink.monitor --latency-msec=2 --format=s16le --rate=44100 --channels=1 \
    --raw >"$folder/pcm" &
  session_parec=$!
  for _ in $(seq 100); do
    [ "$(session_sink_latency | cut -d ' ' -f 1)" -lt 20000 ] 2>/dev/null && return 0
    sleep 0.1
  done
  session_fail "the sink's latency stays at $(session_sink_latency)"
}

# The sink's latency now and its configured one (a block), microseconds.
session_sink_latency() {
  pactl list sinks | awk '/Name: testsink$/ { found = 1 } found && /Latency:/ { print $2, $5; exit }'
}

# session_heard FOLDER SECOND_EPOCH SOUND_FILE: stops the recording and sets
# heard_ms to how long after the second (seconds since the epoch) the first
# sound within a second of it was heard, less the quiet the file itself
# begins with (a spoken one does).
session_heard() {
  local folder=$1 second=$2 sound=$3 block
  block=$(session_sink_latency | cut -d ' ' -f 2)
  kill "$session_parec"
  wait "$session_parec" 2>/dev/null || true
  wait "$session_recorder" || session_fail "the recorder failed"
  session_parec="" session_recorder=""
  session_run "$build/bin/tessivox-bench-onset" heard "$(session_path "$folder")" "$block" \
    "${second}000000" "$(session_path "$sound")" |
    tr -d '\r' >"$folder/heard" || session_fail "not heard at the sink: $(cat "$folder/heard")"
  heard_ms=$(cut -d ' ' -f 1 "$folder/heard")
}

# session_check_heard LINE HEARD_MS: the run log's line of a play against
# what the sink heard: heard, at most half a second late, and the log's
# delay not less than heard, beyond the measure's own error: a sound
# started while the sink had mixed ahead is recorded up to a block into
# itself (2 ms), and a tone rises over its first milliseconds.
session_check_heard() {
  local line=$1 heard=$2 logged
  logged=$(echo "$line" | cut -f 4 | sed 's/ ms$//; s/^+//')
  echo "heard $heard ms after its second; the run log says ${logged} ms"
  awk -v h="$heard" 'BEGIN { exit !(h >= -50 && h <= 500) }' ||
    session_fail "heard $heard ms after its second, not within -50..500 ms"
  awk -v h="$heard" -v l="$logged" 'BEGIN { exit !(l >= h - 5) }' ||
    session_fail "the run log says $logged ms, less than the $heard ms heard"
}

# The demo's instructions are one to three minutes ahead, as times of day.
session_demo_fits_today() { [ "$(date +%H%M)" -lt 2355 ]; }

# session_play_demo FOLDER: the demo subject added to the database of the
# program in FOLDER by its own tessivox-db, the program started there, the
# demo's run started, its first instruction heard at its second.
session_play_demo() {
  local folder=$1 first log line
  (cd "$folder" && session_run ./tessivox-db demo data/asdf.mdb) >"$work/demo.log" 2>&1 ||
    session_fail "tessivox-db could not add the demo: $(cat "$work/demo.log")"
  first=$(grep -o 'instructions at [0-9:]*' "$work/demo.log" | cut -d ' ' -f 3)
  [ -n "$first" ] || session_fail "no instruction's time in: $(cat "$work/demo.log")"
  session_record "$work/sink"
  session_start_program "$folder"
  log=$folder/data/run-log/$(date +%F).log
  session_start_run "$main_window" "$log"
  line=$(session_wait_line "$log" $'\t(played|failed|missed)\t'"$first"$'\t' 120)
  case "$line" in *$'\tplayed\t'*) ;; *) session_fail "the first instruction: $line" ;; esac
  # Until the tone has played out.
  sleep 1.5
  session_heard "$work/sink" "$(date -d "$first" +%s)" "$folder/sound/demo-1.wav"
  session_check_heard "$line" "$heard_ms"
}
