#!/usr/bin/env bash
# The installed Windows program, end to end under wine and a private X
# server, against perlo-sim on a pseudo-terminal, as a user would use it:
#
#   wine-e2e.sh SETUP_EXE PERLO_SIM [--screenshot FILE]
#
# Installs silently into a fresh wine prefix, clicks the window at the
# positions its fixed layout gives, reads the simulator's wire log, finds
# boxes as X windows named "RURUZidura" and reads their text by OCR;
# uninstalls silently at the end. COM1 is mapped to the simulator, COM2 and
# COM3 to paths that do not exist, all through wine's registry only, so that
# this machine's own /dev/ttyS0, which wine adds as the next free port, is
# never one that COM1 or COM2 can reach; a watch on /dev/ttyS0 checks that.
set -euo pipefail
setup=$(realpath "$1")
perlo_sim=$(realpath "$2")
shift 2
screenshot=
[ "${1:-}" = --screenshot ] && screenshot=$(realpath -m "$2")

work=$(mktemp -d /tmp/ruru-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
started=() # processes of this script, ended by their id at exit
cleanup() {
    for p in "${started[@]}"; do kill "$p" 2>/dev/null || true; done
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
    for p in "${started[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() { # WHAT, then a command that must succeed
    local what=$1
    shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null &
started+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

# When the far end of a pseudo-terminal goes away, the wineserver prints its
# whole object table: its own stderr goes to a file.
start_wineserver() { wineserver -p 2>>"$work/wineserver.log"; }
mkdir -p "$WINEPREFIX"
start_wineserver
wineboot -i 2>/dev/null
com1=$work/com1 # the simulator's link to its pseudo-terminal
for port in 1 2 3; do
    device=$work/absent/com$port
    [ "$port" = 1 ] && device=$com1
    wine reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /t REG_SZ /d "$device" /f >/dev/null 2>&1
done
wineserver -k
start_wineserver
inotifywait -q -m -e open /dev/ttyS0 -o "$work/ttyS0-opens" 2>/dev/null &
started+=($!)

# Installed per machine: the program, its Start menu entry, its entry in
# Add/Remove Programs.
drive_c=$WINEPREFIX/drive_c
installdir="$drive_c/Program Files/RURUZidura"
startmenu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/RURUZidura.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\RURUZidura'
wine "$setup" /S 2>/dev/null
check "silent install: the program in Program Files" test -f "$installdir/ruruzidura.exe"
check "silent install: a Start menu entry" test -f "$startmenu"
wine reg query "$uninstall_key" >"$work/uninstall-key" 2>/dev/null || true
for value in DisplayName DisplayIcon Publisher DisplayVersion EstimatedSize UninstallString; do
    check "Add/Remove Programs: $value" grep -q "^ *$value " "$work/uninstall-key"
done

# --- helpers -----------------------------------------------------------------
sim=
start_sim() { # LOG, then perlo-sim options
    local log=$1
    shift
    rm -f "$com1"
    "$perlo_sim" --link "$com1" --wire-log "$log" "$@" >/dev/null &
    sim=$!
    started+=("$sim")
    for _ in $(seq 50); do [ -e "$com1" ] && return; sleep 0.1; done
    echo "perlo-sim did not start" >&2
    exit 1
}
stop_sim() { kill "$sim" && wait "$sim" || true; }

program= window=
start_program() { # RUN: a name for its log
    wine 'C:\Program Files\RURUZidura\ruruzidura.exe' 2>"$work/program-$1.log" &
    started+=($!)
    program=$!
    window=
    for _ in $(seq 300); do
        window=$(xdotool search --onlyvisible --name '^PERLO-II Timer Control Interface$' 2>/dev/null | head -1) || true
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "the window did not show" >&2; exit 1; }
    sleep 0.5
}
# Client coordinates: with no window manager the X window is the client area.
click() { xdotool mousemove --window "$window" "$1" "$2" click "${3:-1}"; }
click_repeat() { xdotool mousemove --window "$window" "$1" "$2" click --repeat "$3" --delay 60 1; }
com1_option() { click 34 38; }
com2_option() { click 34 62; }
connect() { click 288 36; }
step_up() { # ROW TIMES: the upper half of the row's spinner
    click_repeat 216 $((127 + 32 * $1)) "$2"
}
set_button() { click 72 492; }
retrieve() { click 176 492; }
test_shutter() { click 280 492; }

box() { xdotool search --onlyvisible --name '^RURUZidura$' 2>/dev/null | head -1 || true; }
wait_box() { # SECONDS: prints the box's window, if one shows in time
    local deadline=$((SECONDS + $1)) b
    while [ $SECONDS -le "$deadline" ]; do
        b=$(box)
        [ -n "$b" ] && { echo "$b"; return; }
        sleep 0.1
    done
}
# OCR reads the system font exactly at three times its size.
ocr() { # WINDOW [GEOMETRY]
    import -window "$1" ${2:+-crop "$2"} "$work/ocr.png"
    convert "$work/ocr.png" -resize 300% "$work/ocr3.png"
    tesseract "$work/ocr3.png" - ${2:+--psm 7} 2>/dev/null | tr -s ' \n' ' '
}
dismiss() { # BOX: OK is its default button
    timeout 5 xdotool windowfocus --sync "$1" key Return || true
    for _ in $(seq 50); do [ -z "$(box)" ] && return; sleep 0.1; done
}
close_window() {
    timeout 5 xdotool windowfocus --sync "$window" key alt+F4 || true
}
ended_within() { # SECONDS PID
    local deadline=$((SECONDS + $1))
    while kill -0 "$2" 2>/dev/null && [ $SECONDS -le "$deadline" ]; do sleep 0.1; done
    ! kill -0 "$2" 2>/dev/null
}

wire() { cut -d' ' -f2 "$1" | tr -d '\n'; } # the bytes received, in hex
# The block after the last "/P": its first byte at least 100 ms after the
# command, each other byte at least 4.5 ms after the one before.
block_paced() { # LOG LENGTH
    awk -v len="$2" '
        prev == "2f" && $2 == "50" { p = $1; n = 0; ok = 1; next }
        p && n < len { gap = $1 - (n ? last : p); if (gap < (n ? 4500000 : 100000000)) ok = 0
                       last = $1; n++ }
        { prev = $2 }
        END { exit !(p && n == len && ok) }' "$1"
}
block_sent() { # LOG LENGTH: the block after the last "/P", in hex
    wire "$1" | sed 's/.*2f50//' | cut -c1-$((2 * $2))
}
wait_block() { # LOG LENGTH SECONDS
    local deadline=$((SECONDS + $3))
    while [ ${#block_hex} -lt $((2 * $2)) ] && [ $SECONDS -le "$deadline" ]; do
        sleep 0.2
        block_hex=$(block_sent "$1" "$2")
    done
}
block_gaps() { # LOG: the gaps after the last "/P", in ms
    awk 'prev == "2f" && $2 == "50" { p = $1; last = $1; g = ""; next }
         p { g = g sprintf(" %.0f", ($1 - last) / 1e6); last = $1 }
         { prev = $2 }
         END { print g }' "$1"
}

# Processor use, in per cent of one core, of the program and of the
# wineserver, over SECONDS.
ticks() { awk '{ sub(/.*\) /, ""); split($0, f, " "); print f[12] + f[13] }' "/proc/$1/stat"; }
wineserver_pid() { # this prefix's
    local p
    for p in $(pgrep '^wineserver'); do # wineserver64 on Debian
        tr '\0' '\n' <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return; }
    done
}
cpu_percent() { # SECONDS PID: prints the per cent
    local t0 t1 hz
    [ -r "/proc/${2:-none}/stat" ] || { echo 999; return; }
    hz=$(getconf CLK_TCK)
    t0=$(ticks "$2")
    sleep "$1"
    t1=$(ticks "$2")
    echo $(((t1 - t0) * 100 * 100 / (hz * $1) / 100))
}
under_5_percent() { [ "$1" -lt 5 ]; }

# --- a timer of the 16-byte generation ---------------------------------------
wireA=$work/wire-16.log
start_sim "$wireA" --firmware V7.42
start_program sixteen
program_pid=$(pgrep -f 'RURUZidura.ruruzidura\.exe' | head -1)
connect
sleep 2
check "Connect, 16-byte firmware: /V /Z /D on the wire" test "$(wire "$wireA")" = 2f562f5a2f44
version=$(ocr "$window" 65x25+256+56)
check "Connect: the version shown (read: $version)" grep -q 'V7.42' <<<"$version"
check "Connect: no box" test -z "$(box)"
[ -n "$screenshot" ] && import -window "$window" "$screenshot"

# Launch Detect up by one, Shutter Speed up by 25 (3 s): "Set" writes them.
step_up 0 1
step_up 6 25
set_button
block_hex=
wait_block "$wireA" 16 20
echo "     Set: ms from /P to each byte of the block:$(block_gaps "$wireA")"
check "Set: /P and the 16-byte block with the stepped rows" \
    test "$(block_sent "$wireA" 16)" = 1a0a030414051e010a021e0000000000
check "Set: first byte >= 100 ms after /P, the others >= 4.5 ms apart" block_paced "$wireA" 16
sleep 2 # the timer's OK
check "Set: no box" test -z "$(box)"

test_shutter
sleep 6
check "Test Shutter: /S on the wire" test "$(wire "$wireA" | tail -c 4)" = 2f53
check "Test Shutter: the timer's OK within 3.5 s, no box" test -z "$(box)"

# The line hangs up while Test Shutter waits (3.5 s): the wait ends at its
# watchdog, and nothing spins, during or after.
wineserver=$(wineserver_pid)
test_shutter
sleep 0.3
stop_sim
during=$(cpu_percent 2 "$program_pid")
during_server=$(cpu_percent 1 "$wineserver")
b=$(wait_box 10)
check "hang-up during a wait: a box at the watchdog" test -n "$b"
text=$(ocr "${b:-$window}")
check "hang-up: \"Error Testing Shutter\", \"I/O Timed Out\" (read: $text)" \
    grep -q 'Error Testing Shutter.*O Timed Out' <<<"$text" # OCR reads "I/O" as "VO"
sleep 2 # drawing the box costs a moment; a spin would cost the whole core
after=$(cpu_percent 3 "$program_pid")
[ -n "$b" ] && dismiss "$b"
after_dismissed=$(cpu_percent 3 "$program_pid")
after_server=$(cpu_percent 2 "$wineserver")
echo "     processor use after the hang-up, % of a core: program $during during the wait," \
    "$after with the box up, $after_dismissed after it; wineserver $during_server, $after_server"
check "hang-up: the program under 5% of a core during the wait" under_5_percent "$during"
check "hang-up: the program under 5% of a core after it" under_5_percent "$((after > after_dismissed ? after : after_dismissed))"
check "hang-up: the wineserver under 5% of a core" under_5_percent "$((during_server > after_server ? during_server : after_server))"

# The timer is back: the next action opens the line again.
wireB=$work/wire-16-back.log
start_sim "$wireB"
retrieve
sleep 3
check "after the hang-up, Retrieve reaches the timer again: /D" test "$(wire "$wireB")" = 2f44
check "Retrieve: no box" test -z "$(box)"

close_window
check "closing the window ends the program" ended_within 10 "$program"
stop_sim

# --- a timer of the 8-byte generation ----------------------------------------
wire8=$work/wire-8.log
start_sim "$wire8" --generation 8 --firmware V1.05
start_program eight
connect
sleep 2.5
check "Connect, 8-byte firmware: /V /Z /D on the wire" test "$(wire "$wire8")" = 2f562f5a2f44
version=$(ocr "$window" 65x25+256+56)
check "Connect: the version shown (read: $version)" grep -q 'V1.05' <<<"$version"
check "Connect: no box" test -z "$(box)"
close_window
check "closing the window ends the program" ended_within 10 "$program"
stop_sim

# --- a silent timer, and COM2, which is not there ----------------------------
wireS=$work/wire-silent.log
start_sim "$wireS" --fault silent
start_program silent
connect
b=$(wait_box 10)
check "silent timer: a box" test -n "$b"
text=$(ocr "${b:-$window}")
check "silent timer: \"Error getting timer firmware version\", \"I/O Timed Out\" (read: $text)" \
    grep -q 'Error getting timer firmware version.*O Timed Out' <<<"$text"
[ -n "$b" ] && dismiss "$b"
com2_option
connect
b=$(wait_box 10)
check "COM2 absent: a box" test -n "$b"
text=$(ocr "${b:-$window}")
check "COM2 absent: \"Cannot open COM2 (COM2)\", Windows' reason, the ports (read: $text)" \
    grep -q 'Cannot open COM2 (COM2).*Serial ports present.*COM1.*COM2' <<<"$text"
[ -n "$b" ] && dismiss "$b"
close_window
check "closing the window ends the program" ended_within 10 "$program"
stop_sim

# --- what was opened: COM1 reached the simulator (its wire log), COM2
# failed as "COM2" (the box), and those are the mapped paths ------------------
check "wine's COM1 and COM2 are the mapped paths" \
    test "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$com1" -a \
    "$(readlink "$WINEPREFIX/dosdevices/com2")" = "$work/absent/com2"
check "nothing opened /dev/ttyS0" test ! -s "$work/ttyS0-opens"

# --- a silent uninstall leaves nothing ---------------------------------------
wine "$installdir/uninstall.exe" /S 2>/dev/null
# The uninstaller runs on as a copy of itself: wait for it.
for _ in $(seq 300); do [ -e "$installdir" ] || break; sleep 0.1; done
check "silent uninstall: the folder gone" test ! -e "$installdir"
check "silent uninstall: the Start menu entry gone" test ! -e "$startmenu"
check "silent uninstall: the Add/Remove Programs entry gone" \
    bash -c "! wine reg query '$uninstall_key' >/dev/null 2>&1"

if [ "$failures" -ne 0 ]; then
    echo "wine-e2e: $failures checks failed"
    exit 1
fi
echo "wine-e2e: every check passed ($(wine --version))"
