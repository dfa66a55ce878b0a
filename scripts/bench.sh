#!/usr/bin/env bash
# One benchmark run, printed figure by figure beside its goal. Installs what is missing, builds
# and packages the shipped 32-bit program and builds the 64-bit program, each with the
# benchmark's helpers, in build folders of their own, then runs the 64-bit program under wine64
# in its own prefix and under its own Xvfb, and the 32-bit one's start-up in a prefix of its own
# on Wine's 32-bit loader (where this machine runs 32-bit code at all). Takes about 25 minutes
# (13 where the machine runs no 32-bit code).
# Every time is system time in 100 ns units (GetSystemTimeAsFileTime), read by the launcher just
# before CreateProcess and by childprobe when a step's program starts.
set -euo pipefail
cd "$(dirname "$0")/.."

readonly BUILD32=build/bench-i686
readonly BUILD64=build/bench-x86_64
# The program alone again, without the stack protector: what its cookies cost.
readonly NOSSP32=build/bench-i686-nossp
readonly NOSSP64=build/bench-x86_64-nossp
# Of the launcher's rounds of single starts (the floor and its variants, the design's floor, the
# program with and without a trace file or stack protector), for every start-up figure but the
# ratios; each round takes about 40 s. FINISHINSTALL_BENCH_ROUNDS asks for another count.
readonly STARTUP_RUNS=${FINISHINSTALL_BENCH_ROUNDS:-11}
# Of the floor, the design's floor and the 1-step program, started by bench_rounds one right after
# the other, for the start-up ratios: about 2.5 s a round. 101 rounds tell a ratio to about one
# per cent where the machine's speed varies by a tenth from start to start.
# FINISHINSTALL_BENCH_CLOSE_ROUNDS asks for another count.
readonly CLOSE_ROUNDS=${FINISHINSTALL_BENCH_CLOSE_ROUNDS:-101}
readonly STEP_RUNS=3     # of the 10-step run list
readonly LONG_RUNS=7     # of the 597-step run list, each beside a 1-step run
readonly PROFILE_RUNS=5  # of the start-up profile, for 1 step and for 597
readonly SPLIT_RUNS=7    # of the timestamped start-up of the program and the floor, per build
readonly STEPS=10
readonly MAX_STEPS=597
readonly POLL_MS=1000 # the program's wait between looks at a running step
readonly SETTLE_SECONDS=0.3
readonly SIZE_GOAL=65536
readonly STARTUP_RATIO_GOAL=1.05
# Against the design's own least (bench_design_floor): what the framework and the program's
# additions may cost beyond the calls the design prescribes.
readonly DESIGN_RATIO_GOAL=1.03
readonly STEP_OVERHEAD_GOAL_MS=30
readonly LONG_RATIO_GOAL=3
readonly MEMORY_GOAL=$((2 * 1024 * 1024))
readonly ALLOWED_DLLS="advapi32 gdi32 kernel32 msvcrt ole32 shell32 user32"

fail() {
    echo "bench: $*" >&2
    exit 1
}
# check_rounds VARIABLE VALUE: a count of rounds is a whole number of at least 3.
check_rounds() {
    [[ "$2" =~ ^[1-9][0-9]*$ ]] && [ "$2" -ge 3 ] ||
        fail "$1 must be a whole number of at least 3, not \"$2\""
}
check_rounds FINISHINSTALL_BENCH_ROUNDS "$STARTUP_RUNS"
check_rounds FINISHINSTALL_BENCH_CLOSE_ROUNDS "$CLOSE_ROUNDS"

. scripts/quiet.sh

median() {
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) exit 1
        print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# calc EXPRESSION: floating-point arithmetic, printed with the given format (default %.1f).
calc() { awk "BEGIN { printf \"${2:-%.1f}\", $1 }"; }
verdict() { awk "BEGIN { print ($1) ? \"met\" : \"MISSED\" }"; }

# value FILE NAME: a "name<TAB>value" line's value from the launcher's or the profile's output.
value() { tr -d '\r' <"$1" | awk -F'\t' -v name="$2" '$1 == name { print $2; found = 1 }
                                                      END { exit !found }'; }
# The first step program's start in a childprobe record file.
first_start() { awk -F'\t' '$1 == "start" { print $2; found = 1; exit } END { exit !found }' "$1"; }
# Every step program's start, one a line.
all_starts() { awk -F'\t' '$1 == "start" { print $2 }' "$1"; }
# Milliseconds between two system times.
ms_between() { calc "($2 - $1) / 10000"; }

scripts/setup.sh

echo "Building into $BUILD32 and $BUILD64 ..."
mkdir -p "$BUILD32" "$BUILD64"
# The 32-bit start-up needs a machine that runs 32-bit code, and Wine's 32-bit loader.
. scripts/compat32.sh
if compat32_check; then wow32=1; else wow32=0; fi
wow32_reason=$COMPAT32_REASON
quiet "$BUILD32/bench-configure.log" cmake -S . -B "$BUILD32" \
    --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DFINISHINSTALL_TESTS=$([ "$wow32" = 1 ] && echo ON || echo OFF)
quiet "$BUILD32/bench-build.log" cmake --build "$BUILD32" \
    --target "$([ "$wow32" = 1 ] && echo bench || echo FinishInstall)" -j"$(nproc)"
quiet "$BUILD64/bench-configure.log" cmake -S . -B "$BUILD64" \
    --toolchain cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel -DFINISHINSTALL_TESTS=ON
quiet "$BUILD64/bench-build.log" cmake --build "$BUILD64" --target bench -j"$(nproc)"
for arch in i686 x86_64; do
    nossp=$([ "$arch" = i686 ] && echo "$NOSSP32" || echo "$NOSSP64")
    quiet "$nossp.configure.log" cmake -S . -B "$nossp" --toolchain "cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DFINISHINSTALL_TESTS=OFF -DFINISHINSTALL_STACK_PROTECTOR=OFF
    quiet "$nossp.build.log" cmake --build "$nossp" --target FinishInstall -j"$(nproc)"
done

readonly WORK=$BUILD64/bench-run
rm -rf "$WORK"
mkdir -p "$WORK/install/Setup"

# --- 1. Size and dependencies -------------------------------------------------------------
# Of the program as the package ships it, with all its resources.
rm -f "$BUILD32"/FinishInstall-*-win32.zip
(cd "$BUILD32" && quiet bench-cpack.log cpack -G ZIP)
packages=("$BUILD32"/FinishInstall-*-win32.zip)
[ -f "${packages[0]}" ] || fail "cpack made no package in $BUILD32"
PACKAGE=$(realpath "${packages[0]}")
mkdir "$WORK/package"
(cd "$WORK/package" && cmake -E tar xf "$PACKAGE") || fail "cannot extract $PACKAGE"
SHIPPED=$(echo "$WORK"/package/FinishInstall-*-win32/FinishInstall.exe)
[ -f "$SHIPPED" ] || fail "no FinishInstall.exe in $PACKAGE"
size=$(stat -c %s "$SHIPPED")
dlls=$(i686-w64-mingw32-objdump -p "$SHIPPED" |
    awk '/DLL Name:/ { print tolower($3) }' | sed 's/\.dll$//' | sort -u | tr '\n' ' ')
extra=""
for dll in $dlls; do
    [[ " $ALLOWED_DLLS " == *" $dll "* ]] || extra+="$dll "
done

# --- Wine ---------------------------------------------------------------------------------
. scripts/wine-env.sh
FINISHINSTALL_XVFB=1 wine_env_start "$PWD/$BUILD64" >"$WORK/wine-start.log" 2>&1

# use_build BUILD: the launcher, run list writer, floor, program and step program of one
# architecture's build; a 32-bit program's run list is written by a 32-bit writer, into the
# 32-bit registry view it reads.
use_build() {
    BUILD=$1
    LAUNCHER=$1/bench/bench_launcher.exe
    ROUNDS=$1/bench/bench_rounds.exe
    RUNLIST=$1/bench/bench_runlist.exe
    FLOOR_WIN=$(winpath "$1/bench/bench_floor.exe")
    DESIGN_WIN=$(winpath "$1/bench/bench_design_floor.exe")
    PROGRAM_WIN=$(winpath "$1/FinishInstall.exe")
    PROBE_WIN=$(winpath "$1/tests/childprobe.exe")
}
use_build "$BUILD64"
readonly PHASES=$BUILD64/bench/bench_phases.exe
INSTALL_WIN=$(winpath "$WORK/install")
readonly RECORD=$WORK/record.txt
RECORD_WIN=$(winpath "$RECORD")
# Every step's program ends at once and notes its start in the record file.
PROBE_ARGS="--record \"$RECORD_WIN\" --exit 0"

# keep_desktop NAME: bench_desktop started in the current prefix, once it holds the desktop, so
# that no run pays for Wine's desktop process starting again. The prefix's server ends it.
keep_desktop() {
    "$WINE64" "$BUILD64/bench/bench_desktop.exe" >"$WORK/$1.out" 2>"$WORK/$1.err" &
    for _ in $(seq 300); do
        grep -q '^ready' "$WORK/$1.out" 2>/dev/null && return
        sleep 0.1
    done
    fail "bench_desktop did not start: $(cat "$WORK/$1.err")"
}
keep_desktop desktop

wine_quiet() {
    local name=$1
    shift
    "$WINE64" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" || {
        cat "$WORK/$name.err" >&2
        fail "$name failed: $*"
    }
}

# With TRACE_FILE set, the run list asks for its trace in that file.
write_runlist() {
    wine_quiet runlist "$RUNLIST" "$1" "$INSTALL_WIN" "$PROBE_WIN" "$PROBE_ARGS" \
        ${TRACE_FILE:+"$TRACE_FILE"}
}
readonly TRACE_VALUE='%QuillmereDir%\finish.log'

# measure NAME [--stop-after-start RECORD] PROGRAM [ARGUMENT...]: one launcher run; its output
# is kept as NAME.out, the record of the step programs it started as NAME.record.
# Wine now and then fails a CreateProcess (error 1359) that works when tried again: the launcher
# tells that case by its exit code 3, and it is tried once more. So is a launcher that ended
# before it printed anything (once in some hundred runs, with no word from Wine). Where that one
# had started a program that consumed its run list, the second start finds none and the run
# fails, as it did before.
# Each run starts after a short pause, so that the X server and the wineserver have finished
# with the process before (ending one with 597 windows takes them a while).
measure() {
    local name=$1 status=0
    shift
    rm -f "$RECORD"
    sleep "$SETTLE_SECONDS"
    "$WINE64" "$LAUNCHER" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" || status=$?
    if [ "$status" -eq 3 ] || { [ "$status" -ne 0 ] && [ ! -s "$WORK/$name.out" ]; }; then
        echo "bench: $name: exit status $status, $(cat "$WORK/$name.err"); trying again" >&2
        rm -f "$RECORD"
        status=0
        "$WINE64" "$LAUNCHER" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" || status=$?
    fi
    [ "$status" -eq 0 ] || fail "$name failed with exit status $status: $(cat "$WORK/$name.err")"
    [ -f "$RECORD" ] || fail "$name: no step program started"
    mv "$RECORD" "$WORK/$name.record"
}

startup_ms() {
    ms_between "$(value "$WORK/$1.out" created)" "$(first_start "$WORK/$1.record")"
}

# run_floor NAME [OPTION...]: the floor, with the options that add one of the program's costs.
run_floor() {
    local name=$1
    shift
    measure "$name" "$FLOOR_WIN" "$@" "$PROBE_WIN" --record "$RECORD_WIN" --exit 0
}

run_program() {
    local name=$1 steps=$2
    shift 2
    write_runlist "$steps"
    measure "$name" "$@" "$PROGRAM_WIN"
}

# run_design NAME: the design's floor on a 1-step run list, which it consumes as the program does.
run_design() {
    write_runlist 1
    measure "$1" "$DESIGN_WIN"
}

# close_rounds NAME: CLOSE_ROUNDS rounds of the floor, the design's floor and the program, each
# start on a fresh 1-step run list (written before the floor too, so that every start follows the
# same), kept as NAME.tsv: "round<TAB>floor|design|program<TAB>ms" lines. The three are copied
# into one folder of their own first: where a program lies counts for a per cent or so of its
# start under Wine, which the ratios must not take for the program's own.
close_rounds() {
    local folder=$WORK/$1 settle_ms
    mkdir -p "$folder"
    cp "$BUILD/bench/bench_floor.exe" "$BUILD/bench/bench_design_floor.exe" \
        "$BUILD/FinishInstall.exe" "$folder/"
    local floor_win design_win program_win
    floor_win=$(winpath "$folder/bench_floor.exe")
    design_win=$(winpath "$folder/bench_design_floor.exe")
    program_win=$(winpath "$folder/FinishInstall.exe")
    local floor_command="\"$floor_win\" \"$PROBE_WIN\" --record \"$RECORD_WIN\" --exit 0"
    settle_ms=$(calc "$SETTLE_SECONDS * 1000" %.0f)
    rm -f "$RECORD"
    "$WINE64" "$ROUNDS" "$CLOSE_ROUNDS" "$settle_ms" "$RECORD_WIN" "$INSTALL_WIN" "$PROBE_WIN" \
        "$PROBE_ARGS" "floor=$floor_command" "design=\"$design_win\"" \
        "program=\"$program_win\"" >"$WORK/$1.tsv" 2>"$WORK/$1.err" ||
        fail "$1: bench_rounds failed: $(cat "$WORK/$1.err")"
    # A start tried again is said, as the launcher's are.
    tr -d '\r' <"$WORK/$1.err" | sed "s/^/bench: $1: /" >&2
    [ "$(tr -d '\r' <"$WORK/$1.tsv" | wc -l)" -eq $((3 * CLOSE_ROUNDS)) ] ||
        fail "$1: bench_rounds timed fewer starts than it was asked for"
}

# --- Where the start-up goes, on each loader -------------------------------------------------
# One start of the program (1 step) or of the floor, with Wine's own time stamps on its loader's
# lines (the images mapped) and on the program's trace lines, which mark its phases; the marks
# cost a little, so the phases sum to a little more than an unmarked start. split_run NAME
# PROGRAM [ARGUMENT...] keeps the marked output as NAME.split.
split_run() {
    local name=$1
    shift
    write_runlist 1
    rm -f "$RECORD"
    sleep "$SETTLE_SECONDS"
    WINEDEBUG=+timestamp,+loaddll,+debugstr "$WINE64" "$@" >"$WORK/$name.split" 2>&1 || true
}
# split_phases NAME: "phase<TAB>ms" lines from NAME.split, each from one mark to the next: the
# program's image mapped; user32 mapped (its imports); imm32 mapped (Wine's process set-up, up to
# the first window call); then, for the program, its first trace line (the display driver, the
# icon and the dialog window up to OnInitDialog), "steps loaded" (the run list read), "guard
# released" (the lines made, the window sized, the display values written, the keys deleted),
# the worker's first line (the window shown and painted, the worker started, the line bold); and
# for all, the step program's image mapped (CreateProcess). The floor marks its WM_INITDIALOG
# and its first paint, so that its dialog and its showing stand beside the program's; the
# design's floor marks its WM_INITDIALOG, its run list read and consumed, and its step about to
# start, after its worker has started and made the line bold, as the program's trace does.
split_phases() {
    tr -d '\r' <"$WORK/$1.split" | awk '
        function at() { split($1, f, ":"); return f[1] * 1000 }
        function mark(name) { if (!(name in t)) { t[name] = at(); order[++n] = name } }
        { l = tolower($0) }
        l ~ /:loaddll:.*loaded .*(finishinstall|bench_floor|bench_design_floor)\.exe"/ {
            mark("image") }
        l ~ /:loaddll:.*loaded .*\\user32\.dll"/ && ("image" in t) { mark("user32") }
        l ~ /:loaddll:.*loaded .*\\imm32\.dll"/ && ("user32" in t) { mark("imm32") }
        /OutputDebugStringA "(FinishInstall: |bench_floor: dialog|bench_design_floor: )/ &&
            ("imm32" in t) { mark("dialog") }
        /OutputDebugStringA "(FinishInstall: [0-9]+ steps loaded|bench_design_floor: run list read)/ {
            mark("loaded") }
        /OutputDebugStringA "(FinishInstall: run list guard released|bench_design_floor: run list consumed)/ {
            mark("consumed") }
        /OutputDebugStringA "FinishInstall: step .* command line: / { mark("worker") }
        /OutputDebugStringA "(bench_floor: first paint|bench_design_floor: step starting)/ {
            mark("worker") }
        l ~ /:loaddll:.*loaded .*childprobe\.exe"/ && ("imm32" in t) { mark("child"); exit }
        END { for (i = 2; i <= n; ++i) printf "%s\t%.1f\n", order[i], t[order[i]] - t[order[i - 1]]
              if ("child" in t) printf "own\t%.1f\ntotal\t%.1f\n", t["child"] - t["imm32"],
                                        t["child"] - t["image"] }'
}
# split_series LABEL: the program's and the floor's marked starts, alternating.
split_series() {
    for i in $(seq "$SPLIT_RUNS"); do
        split_run "split-$1-program-$i" "$PROGRAM_WIN"
        split_run "split-$1-floor-$i" "$FLOOR_WIN" "$PROBE_WIN" --record "$RECORD_WIN" --exit 0
        split_run "split-$1-design-$i" "$DESIGN_WIN"
    done
}

# The lines-and-consume phase call by call: Wine's relay trace of the calls it is made of, only
# those (RelayInclude), time-stamped, with the trace's own marks around them. part_run NAME
# PROGRAM keeps the output as NAME.parts.
readonly PARTS_CALLS="user32.CreateWindowExA;user32.GetDC;user32.ReleaseDC;user32.SetWindowPos"
part_run() {
    write_runlist 1
    rm -f "$RECORD"
    sleep "$SETTLE_SECONDS"
    WINEDEBUG=+timestamp,+relay,+debugstr "$WINE64" "$2" >"$WORK/$1.parts" 2>&1 || true
}
# part_phases NAME: "part<TAB>ms" lines from NAME.parts, on the thread that read the run list:
# up to the line's window (its object: font, brushes), the window made, then to the measuring
# (the framework subclasses the line there), the text measured, the line placed,
# the window sized, and the display values written and the step keys deleted.
part_phases() {
    tr -d '\r' <"$WORK/$1.parts" | awk '
        function at() { split($1, f, ":"); return f[1] * 1000 }
        function mark(name) { if (!(name in t)) { t[name] = at(); order[++n] = name } }
        { split($1, f, ":"); thread = f[2] }
        /OutputDebugStringA "(FinishInstall: [0-9]+ steps loaded|bench_design_floor: run list read)/ {
            main = thread; mark("loaded") }
        main == "" || thread != main { next }
        /:Call user32\.CreateWindowExA\(/ { mark("object") }
        /:Ret  user32\.CreateWindowExA\(/ { mark("window") }
        /:Call user32\.GetDC\(/ && ("window" in t) { mark("annotated") }
        /:Ret  user32\.ReleaseDC\(/ && ("annotated" in t) { mark("measured") }
        /:Ret  user32\.SetWindowPos\(/ && ("measured" in t) && !("placed" in t) {
            mark("placed"); next }
        /:Ret  user32\.SetWindowPos\(/ && ("placed" in t) { mark("sized") }
        /OutputDebugStringA "(FinishInstall: run list guard released|bench_design_floor: run list consumed)/ {
            mark("consumed"); exit }
        END { for (i = 2; i <= n; ++i) printf "%s\t%.1f\n", order[i], t[order[i]] - t[order[i - 1]] }'
}
# part_series LABEL: the program's and the design floor's, alternating, with the relay on.
part_series() {
    wine_quiet relay-parts-on "$WINE64" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude \
        /t REG_SZ /d "$PARTS_CALLS" /f
    for i in $(seq "$SPLIT_RUNS"); do
        part_run "parts-$1-program-$i" "$PROGRAM_WIN"
        part_run "parts-$1-design-$i" "$DESIGN_WIN"
    done
    wine_quiet relay-parts-off "$WINE64" reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f
}
# part_ms LABEL WHO PART: the part's median over the series, or "-".
part_ms() {
    local ms
    ms=$(for i in $(seq "$SPLIT_RUNS"); do part_phases "parts-$1-$2-$i" || true; done |
        awk -F'\t' -v part="$3" '$1 == part { print $2 }' | median 2>/dev/null) || true
    echo "${ms:--}"
}
# split_ms LABEL WHO PHASE: the phase's median over the series, or "-" where WHO has no such mark.
split_ms() {
    for i in $(seq "$SPLIT_RUNS"); do split_phases "split-$1-$2-$i"; done |
        awk -F'\t' -v phase="$3" '$1 == phase { print $2 }' | median 2>/dev/null || echo "-"
}

# cpu_ticks: all the machine's CPU time so far and the part of it stolen (the hypervisor ran
# something else while this machine wanted to run), in ticks, from /proc/stat's "cpu" line.
cpu_ticks() { awk '$1 == "cpu" { print $2 + $3 + $4 + $5 + $6 + $7 + $8 + $9, $9; exit }' /proc/stat; }
read -r ticks_start steal_start < <(cpu_ticks)
echo "Measuring (load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)) ..."

# --- 2. Start-up against the floor --------------------------------------------------------
# Each round also runs the floor with a worker thread and with shell32 loaded, to tell what
# these two costs of the program's add, and starts childprobe straight from the launcher: what
# starting a step's program costs on this platform, which every step pays as well.
NOSSP64_WIN=$(winpath "$NOSSP64/FinishInstall.exe")
for i in $(seq "$STARTUP_RUNS"); do
    run_floor "floor-$i"
    run_design "design-$i"
    run_program "one-$i" 1
    PROGRAM_WIN=$NOSSP64_WIN run_program "nossp-$i" 1
    TRACE_FILE=$TRACE_VALUE run_program "traced-$i" 1
    run_floor "thread-$i" --thread
    run_floor "shell32-$i" --shell32
    measure "probe-$i" "$PROBE_WIN" --record "$RECORD_WIN" --exit 0
done
close_rounds close-x86_64
startup_median() { for i in $(seq "$STARTUP_RUNS"); do startup_ms "$1-$i"; echo; done | median; }
# The first and third quartiles of a series (nearest rank), "Q1 Q3".
quartiles() {
    sort -g | awk '{ v[NR] = $1 } END { q1 = int((NR + 3) / 4); q3 = int((3 * NR + 3) / 4)
                                        print v[q1], v[q3] }'
}
startup_quartiles() {
    for i in $(seq "$STARTUP_RUNS"); do startup_ms "$1-$i"; echo; done | quartiles
}
# The fastest of a series: what the start costs when nothing else on the machine gets in its way.
fastest() { sort -g | awk 'NR == 1'; }
startup_fastest() {
    for i in $(seq "${2:-$STARTUP_RUNS}"); do
        startup_ms "$1-$i"
        echo
    done | fastest
}
peak_median() { for i in $(seq "$STARTUP_RUNS"); do value "$WORK/$1-$i.out" peak; done | median; }
# close_ms SERIES WHO: WHO's start-ups in the close rounds of SERIES, one a line.
close_ms() { tr -d '\r' <"$WORK/$1.tsv" | awk -F'\t' -v who="$2" '$2 == who { print $3 }'; }
close_median() { close_ms "$1" "$2" | median; }
close_quartiles() { close_ms "$1" "$2" | quartiles; }
# round_ratios SERIES A B: the ratio of A's start-up to B's in each close round, where the two ran
# one right after the other; what slows the machine for a while slows both.
round_ratios() {
    tr -d '\r' <"$WORK/$1.tsv" | awk -F'\t' -v a="$2" -v b="$3" '
        $2 == a { x[$1] = $3 } $2 == b { y[$1] = $3 }
        END { for (r in x) if (r in y) printf "%.4f\n", x[r] / y[r] }'
}
ratio_median() { round_ratios "$@" | median | awk '{ printf "%.3f", $1 }'; }
# ratio_interval SERIES A B GOAL: where the median round's ratio lies, with at least 90%
# confidence (the order statistics that a median falls between, as the sign test gives them),
# and whether this run's noise tells it from GOAL. Under a machine whose speed varies from run
# to run, a ratio's median of a few runs can miss a goal of a few per cent by chance alone.
ratio_interval() {
    round_ratios "$1" "$2" "$3" | sort -g | awk -v goal="$4" '
        { v[NR] = $1 }
        END {
            # v[k]..v[n + 1 - k] misses the median when fewer than k rounds lie below it or
            # fewer than k above: twice the chance (tail) of at most k - 1 heads in n fair
            # tosses. k grows while that stays within 10%.
            n = NR; k = 1; p = 0.5 ^ n; tail = p
            for (m = 1; m < n / 2; ++m) {
                p = p * (n - m + 1) / m
                if (2 * (tail + p) > 0.10) break
                tail += p; k = m + 1
            }
            lo = v[k]; hi = v[n + 1 - k]
            if (hi <= goal) told = "below the goal, beyond this run'"'"'s noise"
            else if (lo > goal) told = "above the goal, beyond this run'"'"'s noise"
            else told = "the goal lies inside: this run cannot tell"
            printf "%.3f..%.3f (%.0f%%), %s\n", lo, hi, 100 * (1 - 2 * tail), told }'
}
floor_ms=$(startup_median floor)
design_ms=$(startup_median design)
one_ms=$(startup_median one)
traced_ms=$(startup_median traced)
nossp_ms=$(startup_median nossp)
thread_ms=$(startup_median thread)
shell32_ms=$(startup_median shell32)
floor_peak=$(peak_median floor)
one_peak=$(peak_median one)
thread_peak=$(peak_median thread)
shell32_peak=$(peak_median shell32)
spawn_ms=$(for i in $(seq "$STARTUP_RUNS"); do
    ms_between "$(value "$WORK/probe-$i.out" created)" "$(value "$WORK/probe-$i.out" returned)"
    echo
done | median)

# --- 3. Per-step overhead -----------------------------------------------------------------
# The last step's end is not seen from outside (the window's closing and Wine's ending of the
# process follow it at once), so the run is timed from the first step's start to the last's:
# STEPS - 1 whole steps.
for i in $(seq "$STEP_RUNS"); do
    run_program "ten-$i" "$STEPS"
    [ "$(all_starts "$WORK/ten-$i.record" | wc -l)" -eq "$STEPS" ] ||
        fail "ten-$i: not every step started"
done
step_ms=$(for i in $(seq "$STEP_RUNS"); do
    all_starts "$WORK/ten-$i.record" | awk -v n="$STEPS" -v poll="$POLL_MS" '
        NR == 1 { first = $1 }
        { last = $1 }
        END { printf "%.2f\n", ((last - first) / 10000 - (n - 1) * poll) / (n - 1) }'
done | median)
step_gaps=$(for i in $(seq "$STEP_RUNS"); do
    all_starts "$WORK/ten-$i.record" |
        awk 'NR > 1 { printf "%.0f\n", ($1 - prev) / 10000 } { prev = $1 }'
done | sort -n | awk '{ v[NR] = $1 } END { printf "%d..%d", v[1], v[NR] }')

# --- 4. A run list of the most steps ------------------------------------------------------
# Stopped half a second after its first step starts: running all of it would take ten minutes.
for i in $(seq "$LONG_RUNS"); do
    run_program "long-$i" "$MAX_STEPS" --stop-after-start "$RECORD_WIN"
    run_program "short-$i" 1 --stop-after-start "$RECORD_WIN"
done
long_ms=$(for i in $(seq "$LONG_RUNS"); do startup_ms "long-$i"; echo; done | median)
short_ms=$(for i in $(seq "$LONG_RUNS"); do startup_ms "short-$i"; echo; done | median)
long_peak=$(for i in $(seq "$LONG_RUNS"); do value "$WORK/long-$i.out" peak; done | median)

# --- Where a slow start goes --------------------------------------------------------------
profile() {
    local name=$1 steps=$2
    write_runlist "$steps"
    wine_quiet "$name" "$PHASES"
}
for i in $(seq "$PROFILE_RUNS"); do
    profile "phases-one-$i" 1
    profile "phases-long-$i" "$MAX_STEPS"
done
phase() { for i in $(seq "$PROFILE_RUNS"); do value "$WORK/phases-$1-$i.out" "$2"; done | median; }

# Calls from the program's own code, up to its first step's start, counted in a trace of Wine's
# relay of the functions below; the trace slows the run, so it gives counts, not times.
readonly COUNTED=(advapi32.RegOpenKeyExA advapi32.RegQueryValueExA advapi32.RegCloseKey
    advapi32.RegEnumKeyExA advapi32.RegDeleteKeyA user32.CreateWindowExA user32.SetWindowPos
    user32.GetDC user32.GetTabbedTextExtentA user32.GetPropA user32.SetPropA
    user32.GetWindowThreadProcessId user32.CallWindowProcA gdi32.CreateFontIndirectA
    gdi32.CreateSolidBrush gdi32.SelectObject KERNEL32.IsDBCSLeadByteEx KERNEL32.OutputDebugStringA
    KERNEL32.CreateProcessA)
image_base=$(x86_64-w64-mingw32-objdump -p "$BUILD64/FinishInstall.exe" |
    awk '/^ImageBase/ { sub(/^0+/, "", $2); print $2 }')
count_calls() {
    local name=$1 steps=$2 attempt=${3:-1}
    write_runlist "$steps"
    rm -f "$RECORD"
    WINEDEBUG=+pid,+relay "$WINE64" "$LAUNCHER" --stop-after-start "$RECORD_WIN" "$PROGRAM_WIN" \
        >"$WORK/$name.out" 2>"$WORK/$name.trace" || fail "$name failed"
    # The program is the process that enumerates the run list; its own calls return into its
    # image (under 1 MiB, so the base's leading digits tell them).
    awk -v prefix="ret=${image_base:0:${#image_base}-5}" '
        /:Call advapi32\.RegEnumKeyExA\(/ && pid == "" { split($0, f, ":"); pid = f[1] }
        { split($0, f, ":") }
        pid != "" && f[1] == pid && index($0, " " prefix) &&
            match($0, /Call [A-Za-z0-9_]+\.[A-Za-z0-9_]+/) {
            fn = substr($0, RSTART + 5, RLENGTH - 5); count[fn]++
            if (fn == "KERNEL32.CreateProcessA") exit
        }
        END { for (fn in count) print fn "\t" count[fn] }' "$WORK/$name.trace" >"$WORK/$name.counts"
    # Now and then a traced run leaves no call of the program's in its trace; it is run once
    # more, and where it again counts nothing its column shows dashes, not noughts.
    [ -s "$WORK/$name.counts" ] || [ "$attempt" = 2 ] || count_calls "$name" "$steps" 2
}
wine_quiet relay-on "$WINE64" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
    /d "$(IFS=';' && echo "${COUNTED[*]}")" /f
count_calls calls-one 1
count_calls calls-long "$MAX_STEPS"
wine_quiet relay-off "$WINE64" reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f
rm -f "$WORK"/*.trace
split_series x86_64
part_series x86_64

# --- 2b. The shipped 32-bit build's start-up, in a prefix of its own on the 32-bit loader ---
if [ "$wow32" = 1 ]; then
    FINISHINSTALL_XVFB=1 wine_env_start "$PWD/$BUILD32" >"$WORK/wine-start-i686.log" 2>&1
    keep_desktop desktop-i686
    use_build "$BUILD32"
    PROBE_ARGS="--record \"$RECORD_WIN\" --exit 0"
    NOSSP32_WIN=$(winpath "$NOSSP32/FinishInstall.exe")
    for i in $(seq "$STARTUP_RUNS"); do
        run_floor "floor32-$i"
        run_design "design32-$i"
        run_program "one32-$i" 1
        PROGRAM_WIN=$NOSSP32_WIN run_program "nossp32-$i" 1
        TRACE_FILE=$TRACE_VALUE run_program "traced32-$i" 1
    done
    floor32_ms=$(startup_median floor32)
    design32_ms=$(startup_median design32)
    one32_ms=$(startup_median one32)
    traced32_ms=$(startup_median traced32)
    nossp32_ms=$(startup_median nossp32)
    close_rounds close-i686
    split_series i686
    part_series i686
fi

echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
read -r ticks_end steal_end < <(cpu_ticks)

# --- Report -------------------------------------------------------------------------------
mib() { calc "$1 / 1048576" "%.2f"; }
# row LABEL FIGURE [GOAL VERDICT]
row() {
    if [ -n "${3:-}" ]; then
        printf '   %-20s %-26s goal %s: %s\n' "$1" "$2" "$3" "$4"
    else
        printf '   %-20s %s\n' "$1" "$2"
    fi
}
# floor_row LABEL START-UP PEAK NOTE: the floor or one of its variants.
floor_row() {
    printf '   %-22s %6s ms  %5s MiB  +%4s MiB  %s\n' "$1" "$2" "$(mib "$3")" \
        "$(mib $((${3%.*} - ${floor_peak%.*})))" "$4"
}
# phase_row LABEL FIGURE-1-STEP FIGURE-MOST-STEPS [NOTE]
phase_row() { printf '   %-26s %9s %9s  %s\n' "$1" "$2" "$3" "${4:-}"; }
phase_ms() { phase_row "$1" "$(phase one "$2")" "$(phase long "$2")" "${3:-}"; }
growth() { mib "$(calc "$(phase "$1" "$3") - $(phase "$1" "$2")" %.0f)"; }

long_ratio=$(calc "$long_ms / $short_ms" "%.2f")
one_extra=$((${one_peak%.*} - ${floor_peak%.*}))
long_extra=$((${long_peak%.*} - ${floor_peak%.*}))
if [ -z "$extra" ]; then imports_verdict=met; else imports_verdict="MISSED: $extra"; fi
whole=$((STEPS - 1))

echo
echo "FinishInstall benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')," \
    "Wine $(dpkg-query -W -f='${Version}' wine64)"
echo
# How quiet the machine was: the ratios below mean little when much of its CPU time was
# stolen, or when the same floor took very different times from one run to the next.
read -r floor_q1 floor_q3 < <(startup_quartiles floor)
stolen=$(calc "100 * ($steal_end - $steal_start) / ($ticks_end - $ticks_start)")
spread=$(calc "100 * ($floor_q3 - $floor_q1) / $floor_ms" %.0f)
echo "How quiet the machine was while measuring:"
echo "   CPU time stolen by the hypervisor   $stolen% of the machine's"
echo "   the floor's middle half of runs     $floor_q1..$floor_q3 ms, a spread of $spread% of its median"
echo
echo "1. Size and dependencies of the i686 MinSizeRel FinishInstall.exe in $(basename "$PACKAGE")"
row "size" "$size bytes ($(calc "$size / 1024") KiB)" "<= 64 KiB" \
    "$(verdict "$size <= $SIZE_GOAL")"
row "imported DLLs" "$dlls"
printf '   %-20s goal only %s: %s\n' "" "$ALLOWED_DLLS" "$imports_verdict"
cat <<END

2. Start-up with a 1-step run list: system time just before CreateProcess to the step program's
   start (childprobe's record). The floor, bench_floor, is a modal dialog with one line that
   starts childprobe at its first paint: no registry, no thread, no shell32. The design's floor
   makes exactly the calls the program's design prescribes. In each of $CLOSE_ROUNDS close rounds
   bench_rounds starts the three one right after the other, each on a fresh run list, the order
   turned every round; a ratio is the median of the rounds' ratios, and its interval where that
   median lies with at least 90% confidence. Milliseconds are medians, with the middle half.
END
# startup_rows SERIES LABEL: the three start-ups and their ratios, each ratio beside its goal.
startup_rows() {
    local series=$1 label=$2 who q1 q3 ratio
    for who in floor design program; do
        read -r q1 q3 < <(close_quartiles "$series" "$who")
        row "$who$label" "$(calc "$(close_median "$series" "$who")") ms ($q1..$q3)"
    done
    ratio=$(ratio_median "$series" program floor)
    row "to floor$label" "$ratio" "<= $STARTUP_RATIO_GOAL" \
        "$(verdict "$ratio <= $STARTUP_RATIO_GOAL")"
    row "" "$(ratio_interval "$series" program floor "$STARTUP_RATIO_GOAL")"
    ratio=$(ratio_median "$series" program design)
    row "to design$label" "$ratio" "<= $DESIGN_RATIO_GOAL" \
        "$(verdict "$ratio <= $DESIGN_RATIO_GOAL")"
    row "" "$(ratio_interval "$series" program design "$DESIGN_RATIO_GOAL")"
    ratio=$(ratio_median "$series" design floor)
    row "design to floor$label" "$ratio: what the design's own calls cost beyond the floor"
    row "" "$(ratio_interval "$series" design floor "$STARTUP_RATIO_GOAL")"
}
echo "   x86_64 under wine64:"
startup_rows close-x86_64 ""
echo "   The shipped i686 build on Wine's 32-bit loader, against the floors built for i686:"
if [ "$wow32" = 1 ]; then
    startup_rows close-i686 ", i686"
else
    row "i686" "not measured: $wow32_reason"
fi
cat <<END
   Started by the launcher, alternating with the runs of the next part (median of
   $STARTUP_RUNS runs each; the fastest in brackets):
END
row "floor" "$floor_ms ms ($(startup_fastest floor))"
row "design's floor" "$design_ms ms ($(startup_fastest design))"
row "program" "$one_ms ms ($(startup_fastest one))"
row "with a trace file" "$traced_ms ms ($(startup_fastest traced)): TraceFile $TRACE_VALUE"
# stack_row LABEL MS FASTEST BUILD PROTECTED-EXE: the program without the stack protector.
stack_row() {
    local saved=$(($(stat -c %s "$5") - $(stat -c %s "$4/FinishInstall.exe")))
    row "$1" "$2 ms ($3), $saved bytes smaller: what the cookies cost"
}
stack_row "no stack protector" "$nossp_ms" "$(startup_fastest nossp)" "$NOSSP64" \
    "$BUILD64/FinishInstall.exe"
if [ "$wow32" = 1 ]; then
    row "floor, i686" "$floor32_ms ms ($(startup_fastest floor32))"
    row "design's floor, i686" "$design32_ms ms ($(startup_fastest design32))"
    row "program, i686" "$one32_ms ms ($(startup_fastest one32))"
    row "trace file, i686" "$traced32_ms ms ($(startup_fastest traced32))"
    stack_row "no stack prot., i686" "$nossp32_ms" "$(startup_fastest nossp32)" "$NOSSP32" \
        "$BUILD32/FinishInstall.exe"
fi
cat <<END

3. Per-step overhead with $STEPS steps whose program ends at once (median of $STEP_RUNS runs): the
   first step program's start to the last's, less $whole x the $POLL_MS ms poll, over $whole steps
END
row "per step" "$step_ms ms" "<= $STEP_OVERHEAD_GOAL_MS ms" \
    "$(verdict "$step_ms <= $STEP_OVERHEAD_GOAL_MS")"
row "start to start" "$step_gaps ms"
cat <<END
   The one-second poll is how the program waits, on purpose: no step takes less. Of the rest,
   starting the step's program is the platform's share: a bare CreateProcess of childprobe
   from the launcher returns after $spawn_ms ms (median) under Wine.

4. Start-up with $MAX_STEPS steps against 1 step, alternating, median of $LONG_RUNS runs each:
   system time before CreateProcess to the first step program's start, which the worker makes at
   the window's first paint. Each run is stopped 0.5 s after that start (all of a $MAX_STEPS-step
   run would take ten minutes). Each step's Load reads the install location 5 times, on
   purpose (see the calls below).
END
row "$MAX_STEPS steps" "$long_ms ms (fastest $(startup_fastest long "$LONG_RUNS"))"
row "1 step" "$short_ms ms (fastest $(startup_fastest short "$LONG_RUNS"))"
row "ratio" "$long_ratio" "<= $LONG_RATIO_GOAL" "$(verdict "$long_ratio <= $LONG_RATIO_GOAL")"
echo "   Peak working set: GetProcessMemoryInfo on the running process, every 20 ms (median)"
row "floor" "$(mib "$floor_peak") MiB"
row "program, 1 step" "$(mib "$one_peak") MiB (+$(mib $one_extra))" "<= +2 MiB" \
    "$(verdict "$one_extra <= $MEMORY_GOAL")"
row "program, $MAX_STEPS steps" "$(mib "$long_peak") MiB (+$(mib $long_extra))" "<= +2 MiB" \
    "$(verdict "$long_extra <= $MEMORY_GOAL")"

cat <<END

What two of the program's costs add to the floor (in the runs of 2, median of $STARTUP_RUNS each)
END
floor_row "floor" "$floor_ms" "$floor_peak" ""
floor_row "with a worker thread" "$thread_ms" "$thread_peak" "the program's steps run on one"
floor_row "with shell32 loaded" "$shell32_ms" "$shell32_peak" \
    "what importing it cost; the program loads it only on a click"
cat <<END

Where the start-up goes: bench_phases runs the progress dialog in a process of its own and
ends it at its first paint (median of $PROFILE_RUNS; milliseconds, and MiB of working set gained)
END
phase_row "" "1 step" "$MAX_STEPS steps"
phase_ms "run list reads alone" load_ms "LoadManifest on its own"
phase_ms "dialog window" create_ms
phase_ms "OnInitDialog" init_ms "reads again, a window per line, key deletion"
phase_ms "then to the first paint" paint_ms
phase_row "memory in OnInitDialog" "$(growth one ws_init ws_inited)" \
    "$(growth long ws_init ws_inited)"
phase_row "memory to the first paint" "$(growth one ws_inited ws_painted)" \
    "$(growth long ws_inited ws_painted)" "Wine's image of the window's on-screen part"
phase_row "window height, px" "$(phase one window_cy)" "$(phase long window_cy)" \
    "every line fits, on purpose; screen: $(phase long screen_cy)"
echo
cat <<END
Where the start-up goes on each loader: one step, from the program's image mapped to the step
program's image mapped, split at Wine's time-stamped marks (median of $SPLIT_RUNS runs each, ms;
the marks add a little to every phase). The floor marks its dialog's initialisation and its
first paint; the design's floor its dialog's initialisation, its run list read and consumed,
and its step about to start, its worker started and its line bold; the program's own row sums
what follows Wine's process set-up.
END
printf '   %-44s %7s %7s %7s %7s %7s %7s\n' "" "i686" "floor" "design" "x86_64" "floor" "design"
split_row() {
    local label=$1 phase=$2 who
    printf '   %-44s' "$label"
    for who in "i686 program" "i686 floor" "i686 design" "x86_64 program" "x86_64 floor" \
               "x86_64 design"; do
        if [ "${who% *}" = i686 ] && [ "$wow32" != 1 ]; then
            printf ' %7s' "-"
        else
            printf ' %7s' "$(split_ms ${who% *} ${who#* } "$phase")"
        fi
    done
    echo
}
split_row "imports mapped" user32
split_row "Wine's process set-up" imm32
split_row "display driver, dialog up to its init" dialog
split_row "run list read (the guard taken)" loaded
split_row "lines made, window sized, list consumed" consumed
split_row "shown, painted (worker started, line bold)" worker
split_row "step program started (CreateProcess)" child
split_row "  all after Wine's set-up" own
split_row "whole start-up" total
[ "$wow32" = 1 ] || echo "   i686: not measured: $wow32_reason"
echo
cat <<END
The lines-and-consume phase call by call: Wine's relay trace of CreateWindowExA, GetDC,
ReleaseDC and SetWindowPos alone, time-stamped to the millisecond (median of $SPLIT_RUNS runs, ms;
the trace adds a little to each part), the program beside the design's floor, which makes the
same calls.
END
printf '   %-44s %9s %9s %9s %9s\n' "" "i686" "design" "x86_64" "design"
part_row() {
    local label=$1 part=$2 who
    printf '   %-44s' "$label"
    for who in "i686 program" "i686 design" "x86_64 program" "x86_64 design"; do
        if [ "${who% *}" = i686 ] && [ "$wow32" != 1 ]; then
            printf ' %9s' "-"
        else
            printf ' %9s' "$(part_ms ${who% *} ${who#* } "$part")"
        fi
    done
    echo
}
part_row "the line's object (font, brushes)" object
part_row "the line's window made (CreateWindowExA)" window
part_row "the line subclassed (the framework)" annotated
part_row "its text measured (GetDC to ReleaseDC)" measured
part_row "the line placed (SetWindowPos)" placed
part_row "the window sized (SetWindowPos)" sized
part_row "display values written, step keys deleted" consumed
echo

echo "Calls from the program's own code up to its first step's start (Wine relay trace)"
printf '   %-36s %9s %9s\n' "" "1 step" "$MAX_STEPS steps"
# count NAME FUNCTION: how often the run called it; "-" where its trace counted nothing at all.
count() {
    if [ -s "$WORK/$1.counts" ]; then value "$WORK/$1.counts" "$2" || echo 0; else echo "-"; fi
}
for fn in "${COUNTED[@]}"; do
    printf '   %-36s %9s %9s\n' "$fn" "$(count calls-one "$fn")" "$(count calls-long "$fn")"
done
