#!/bin/sh
# Benchmarks, run on demand (never in CI): what vyrpm costs against doing its work by hand.
#
# Usage: scripts/bench.sh [build folder]        (default: build; BENCH_ROUNDS=3 rounds)
#        TMPDIR=/dev/shm scripts/bench.sh       (steadier: a disk's inode allocation varies a lot)
#
# It builds Release, generates a builds site in a temporary folder and serves it on loopback with
# the sample site (tests/tools/sampleSite.cpp), then measures in each round, and prints the median
# of the rounds as a table:
#   - install of a build of about 200 MB (one bundle folder with a few large binaries and about
#     2,000 small files) with the test build's install command into a fresh home folder, against
#     curl -o of the same archive, unzip -q and cp -r of the plug-in bundle into a fresh plug-in
#     folder: both wall times, their ratio, vyrpm's peak resident memory, the hand steps alone, and
#     vyrpm installing the same build again over the installed one;
#   - list against a channel folder listing of 2,000 builds, and against one of 100,000 builds,
#     each with a plug-in folder tree of 4,096 folders: CPU time;
#   - help of the shipped program: wall and CPU time of a start-up (median of 21 runs a round),
#     beside the start-up of curl --version;
#   - list against a site of 30 public releases whose every answer comes 100 ms late, as over a
#     real network: wall time, beside the requests that a refresh asking one after another would
#     wait for in turn;
#   - changelog of a product whose changelog is 1 MiB of continuation lines after one bullet whose
#     tag closes 512 KiB in (a text that would cost its square were each line lined up in memory),
#     run with at most 4 GiB of address space: wall time and peak resident memory;
#   - paths on a damaged settings.xml of the costliest shapes: 2 MB of entities in one value (read
#     by the framework's parser in quadratic time), the largest file read (1 MB) of entities in 16
#     values as long as a value may be, and 30,000 unknown elements of mixed content
#     that a save writes back as far as the size bound lets it: wall time;
#   - the requests of one list refresh and of one install, and any path asked for twice.
# Needs, besides the packages of the test command (.ci/run): curl and unzip, for the hand install.
# It installs nothing, and writes nothing outside the build folder and its temporary folder.
set -eu
cd "$(dirname "$0")/.."
. scripts/sampleSite.sh

build=${1:-build}
rounds=${BENCH_ROUNDS:-3}
arch=$(uname -m)
user=bench
password=bench-pass
helpRuns=21
lateReleases=30
lateMs=100
changelogBytes=1048576
changelogCapKiB=4194304

say() { printf '%s\n' "$*"; }
fail() { say "bench.sh: $*" >&2; exit 1; }

for tool in curl unzip; do
    command -v "$tool" >/dev/null || fail "needs $tool for the install by hand (apt-get install curl unzip)"
done

say "Building Release in $build ..."
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVYRPM_BUILD_TESTS=ON >/dev/null ||
    fail "cannot configure $build; run the test command of the README first"
cmake --build "$build" -j "$(nproc)" --target vyrpm vyrpmTestBinary vyrpmSampleSite vyrpmMeasure >/dev/null ||
    fail "the build failed"
bin=$(cd "$build/tests" && pwd)
program=$bin/vyrpmTestBinary
shipped=$(cd "$build/cli" && pwd)/vyrpm

work=$(mktemp -d "${TMPDIR:-/tmp}/vyrpm-bench.XXXXXX")
server=
cleanup() {
    stop_server
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
site=$work/site
late=$work/late
chatty=$work/chatty
results=$work/results
mkdir -p "$results"

# --- the site -------------------------------------------------------------------------------------

bigBuild="Kestavel-Big-VST3-1.0.0-Linux_$arch.zip"

# The bundle of the large build: four binaries of random bytes (192 MiB, as incompressible as
# packed resources) and 2,000 small presets that deflate well.
make_big_bundle() {
    b=$work/big/Big.vst3/Contents
    mkdir -p "$b/$arch-linux" "$b/Resources"
    head -c 64M /dev/urandom >"$b/$arch-linux/Big.so"
    for name in wavetables impulses; do
        head -c 48M /dev/urandom >"$b/Resources/$name.dat"
    done
    head -c 32M /dev/urandom >"$b/Resources/skin.dat"
    bank=0
    while [ $bank -lt 20 ]; do
        mkdir -p "$b/Resources/Presets/Bank $bank"
        preset=0
        while [ $preset -lt 100 ]; do
            {
                printf '<?xml version="1.0"?>\n<preset name="Preset %d-%d" bank="%d">\n' $bank $preset $bank
                line=0
                while [ $line -lt 40 ]; do
                    printf '  <param id="p%d" value="0.%d%d%d"/>\n' $line $bank $preset $line
                    line=$((line + 1))
                done
                printf '</preset>\n'
            } >"$b/Resources/Presets/Bank $bank/Preset $preset.xml"
            preset=$((preset + 1))
        done
        bank=$((bank + 1))
    done
}

# The channel folder of a large catalog: four builds of product $2 in each of $3 versions (empty
# files: only the listing counts), for this machine and for others, and no product list, in the
# donators folder of slug $1.
make_channel_folder() {
    folder=$site/server/builds/$1/donators
    mkdir -p "$folder"
    v=0
    while [ $v -lt "$3" ]; do
        for piece in "VST3-0.$v.0-Linux_$arch" "CLAP-0.$v.0-Linux_$arch" "LV2-0.$v.0-Linux_$arch" "VST3-0.$v.0-win64"; do
            : >"$folder/Kestavel-$2-$piece.zip"
        done
        v=$((v + 1))
    done
}

# A plug-in folder tree of 4,096 folders (64 makers with 63 folders each, and the root) in the
# default VST3 folder of home $1.
make_plugin_tree() {
    maker=0
    while [ $maker -lt 64 ]; do
        i=0
        while [ $i -lt 63 ]; do
            mkdir -p "$1/.vst3/Maker $maker/Plug-in $i"
            i=$((i + 1))
        done
        maker=$((maker + 1))
    done
}

make_site() {
    mkdir -p "$site/site/installer" "$site/site/builds" "$site/files"
    say '{"products": [{"id": "Big", "slug": "big", "name": "Big", "description": "A large build"},
        {"id": "Huge", "slug": "huge", "name": "Huge", "description": "A huge channel folder"}]}' \
        >"$site/site/installer/plugins.json"
    say "Generating the 200 MB build and the large catalogs ..."
    make_big_bundle
    zip_folder "$site/files/$bigBuild" "$work/big" || fail "cannot zip the large build"
    make_channel_folder big Big 500
    make_channel_folder huge Huge 25000
}

# Our copy of the public release list names the server's address, so it follows each start.
write_release_list() {
    say '["v1.0.0"]' >"$site/site/builds/versions.json"
    cat >"$site/site/builds/v1.0.0.json" <<EOF
{"tag_name": "v1.0.0", "published_at": "2024-05-01T10:00:00Z", "assets": [
    {"name": "$bigBuild", "browser_download_url": "${base}files/$bigBuild"}
]}
EOF
}

# Serves folder $1 until stop_server, which leaves the paths asked for in $2; more options of the
# sample site may follow.
serve_site() {
    folder=$1 record=$2
    shift 2
    rm -f "$work/url"
    "$bin/vyrpmSampleSite" serve "$folder" --url-file "$work/url" --requests-file "$record" "$@" >/dev/null &
    server=$!
    wait_for_site "$work/url"
    base=$(cat "$work/url")
}

start_server() {
    serve_site "$site" "$1" --login /server/builds/big/donators/ "$user" "$password" \
        --login /server/builds/huge/donators/ "$user" "$password"
    write_release_list
}

# $lateReleases public releases of one build each, and a product list naming their product.
make_late_site() {
    mkdir -p "$late/site/installer" "$late/site/builds"
    say '{"products": [{"id": "Late", "slug": "late", "name": "Late"}]}' >"$late/site/installer/plugins.json"
    names=
    i=1
    while [ $i -le $lateReleases ]; do
        file="Kestavel-Late-VST3-1.$i.0-Linux_$arch.zip"
        say "{\"published_at\": \"2024-05-01T10:00:00Z\", \"assets\": [{\"name\": \"$file\",
            \"browser_download_url\": \"http://127.0.0.1:9/files/$file\"}]}" >"$late/site/builds/v1.$i.0.json"
        names="$names${names:+, }\"v1.$i.0\""
        i=$((i + 1))
    done
    say "[$names]" >"$late/site/builds/versions.json"
}

# Chatty, published in release 1.0.0, and its changelog of $changelogBytes bytes: one bullet whose
# tag closes half-way in, then continuation lines.
make_changelog_site() {
    doc=$chatty/raw/morvatek/clavendrome/main/doc
    mkdir -p "$chatty/site/installer" "$chatty/site/builds" "$doc"
    say '{"products": [{"id": "Chatty", "slug": "chatty", "name": "Chatty"}]}' >"$chatty/site/installer/plugins.json"
    file="Kestavel-Chatty-VST3-1.0.0-Linux_$arch.zip"
    say "{\"published_at\": \"2024-05-01T10:00:00Z\", \"assets\": [{\"name\": \"$file\",
        \"browser_download_url\": \"http://127.0.0.1:9/files/$file\"}]}" >"$chatty/site/builds/v1.0.0.json"
    say '["v1.0.0"]' >"$chatty/site/builds/versions.json"
    awk -v total="$changelogBytes" 'BEGIN {
        tag = total / 2
        printf "Version 1.0.0\nChatty:\n- ["
        for (i = 0; i < tag; i++) printf "t"
        printf "] first\n"
        for (n = tag + 32; n + 14 <= total; n += 14) printf "and then some\n"
    }' >"$doc/changelog.txt"
}

stop_server() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
        server=
    fi
}

# --- running the program --------------------------------------------------------------------------

# A fresh home, data, settings and temporary folder for one run of the program, below $1.
fresh_home() {
    rm -rf "$1"
    mkdir -p "$1/home" "$1/tmp"
}

# The test build with the home below $1, measured into report $2, output thrown away.
measured_vyrpm() {
    h=$1 report=$2
    shift 2
    HOME="$h/home" XDG_DATA_HOME="$h/home/.local/share" VYR_DATA_FOLDER="$h/data" TMPDIR="$h/tmp" \
        VYRPM_TEST_SERVER="$base" "$bin/vyrpmMeasure" "$report" "$program" "$@" --settings "$h/settings" \
        >"$h/out" 2>"$h/err"
}

vyrpm_in() {
    h=$1
    shift
    HOME="$h/home" XDG_DATA_HOME="$h/home/.local/share" VYR_DATA_FOLDER="$h/data" TMPDIR="$h/tmp" \
        VYRPM_TEST_SERVER="$base" "$program" "$@" --settings "$h/settings" >"$h/out" 2>"$h/err"
}

install_with_vyrpm() {
    fresh_home "$work/v"
    if measured_vyrpm "$work/v" "$results/vyrpm-install" install Big --format VST3; then
        if ! diff -r "$work/big/Big.vst3" "$work/v/home/.vst3/Big.vst3" >/dev/null; then
            fail "vyrpm installed something else than the bundle of the archive"
        fi
        # Over the installed copy: the old bundle is searched for ROM and user files and moved aside.
        measured_vyrpm "$work/v" "$results/vyrpm-reinstall" install Big --format VST3 || true
    else
        installFailed=$(head -n 1 "$work/v/err")
    fi
    rm -rf "$work/v"
}

# The same by hand, each step measured on its own and the three together.
install_by_hand() {
    h=$work/h
    rm -rf "$h"
    mkdir -p "$h/unpacked" "$h/plugins"
    "$bin/vyrpmMeasure" "$results/hand-download" curl -sSf -o "$h/$bigBuild" "${base}files/$bigBuild"
    "$bin/vyrpmMeasure" "$results/hand-unpack" unzip -q "$h/$bigBuild" -d "$h/unpacked"
    "$bin/vyrpmMeasure" "$results/hand-copy" cp -r "$h/unpacked/Big.vst3" "$h/plugins/"
    for step in download unpack copy; do tail -n 1 "$results/hand-$step"; done |
        awk '{ wall += $1; cpu += $2 } END { printf "%.3f %.3f 0 0\n", wall, cpu }' >>"$results/hand-install"
    rm -rf "$h"
}

# list in home $1, with the donator login of slug $2 (the only one there), measured into report $3.
list_large_catalog() {
    h=$1
    if [ ! -d "$h" ]; then
        fresh_home "$h"
        make_plugin_tree "$h/home"
        vyrpm_in "$h" login donators "$2" --user "$user" --password "$password" ||
            fail "the login for the large catalog $2 failed: $(cat "$h/err")"
    fi
    measured_vyrpm "$h" "$results/$3" list || listFailed=$(head -n 1 "$h/err")
}

# The median start-up of program $2... over $helpRuns runs, appended to report $1.
start_up() {
    report=$1
    shift
    i=0
    while [ $i -lt $helpRuns ]; do
        HOME="$work" "$bin/vyrpmMeasure" "$results/$report-runs" "$@" >/dev/null
        i=$((i + 1))
    done
    say "$(median "$results/$report-runs" 1) $(median "$results/$report-runs" 2)" | awk '{ print $1, $2, 0, 0 }' \
        >>"$results/$report"
    rm -f "$results/$report-runs"
}

# Beside curl --version, which binds the same libcurl and its libraries that vyrpm leaves unbound
# until its first request.
help_start_up() {
    start_up help "$shipped" help
    start_up curl-version curl --version
}

# The median of column $2 of the report lines in $1 (the lower middle one of an even count), of
# the runs that succeeded.
median() {
    awk '$4 == 0' "$1" | sort -n -k "$2,$2" | awk -v c="$2" '{ v[NR] = $c } END { if (NR) print v[int((NR + 1) / 2)]; else print "" }'
}

# A fresh home in $1 whose settings.xml the awk program $3 writes, and paths with the arguments $4... on
# it, measured into report $2.
paths_on_damaged_settings() {
    h=$1 report=$2
    shift 2
    fresh_home "$h"
    mkdir -p "$h/settings"
    awk "BEGIN { $1 }" >"$h/settings/settings.xml"
    shift
    measured_vyrpm "$h" "$results/$report" paths "$@" || true
}

damaged_settings() {
    paths_on_damaged_settings "$work/d" settings-entities \
        'printf "<pluginManager><hidden product=\""; for (i = 0; i < 400000; i++) printf "&amp;"; printf "\"/></pluginManager>"'
    paths_on_damaged_settings "$work/d" settings-values \
        'printf "<pluginManager>"; for (e = 0; e < 16; e++) { printf "<hidden product=\""; for (i = 0; i < 13000; i++) printf "&amp;"; printf "\"/>" } printf "</pluginManager>"' \
        VST3 /x
    paths_on_damaged_settings "$work/d" settings-unknown \
        'printf "<pluginManager>"; for (i = 0; i < 30000; i++) printf "<n>t<g><i/></g></n>"; printf "</pluginManager>"' \
        VST3 /x
    rm -rf "$work/d"
}

# --- the rounds -----------------------------------------------------------------------------------

make_site
start_server "$work/requests-rounds"
installFailed=
listFailed=
round=1
while [ $round -le "$rounds" ]; do
    say "Round $round of $rounds ..."
    # Alternating which install goes first, so neither always finds the other's cache state.
    if [ $((round % 2)) -eq 1 ]; then
        install_with_vyrpm
        install_by_hand
    else
        install_by_hand
        install_with_vyrpm
    fi
    list_large_catalog "$work/l" big list
    list_large_catalog "$work/u" huge list-huge
    help_start_up
    damaged_settings
    round=$((round + 1))
done
stop_server

# The late site, its own rounds: each list in a fresh home.
make_late_site
serve_site "$late" "$work/requests-late" --delay "$lateMs"
lateFailed=
round=1
while [ $round -le "$rounds" ]; do
    say "Late answers, round $round of $rounds ..."
    fresh_home "$work/t"
    measured_vyrpm "$work/t" "$results/list-late" list || lateFailed=$(head -n 1 "$work/t/err")
    round=$((round + 1))
done
stop_server
# The large changelog, its own rounds: the address space is capped, so that a text that costs its
# square fails there rather than taking the machine.
make_changelog_site
serve_site "$chatty" "$work/requests-changelog"
changelogFailed=
round=1
while [ $round -le "$rounds" ]; do
    say "Large changelog, round $round of $rounds ..."
    fresh_home "$work/g"
    (ulimit -v "$changelogCapKiB" && measured_vyrpm "$work/g" "$results/changelog-large" changelog Chatty) ||
        changelogFailed=$(head -n 1 "$work/g/err")
    [ -n "$changelogFailed" ] || [ "$(grep -c '^- \[t*\] first and then some' "$work/g/out")" -eq 1 ] ||
        changelogFailed="the bullet was not printed as one entry"
    round=$((round + 1))
done
stop_server

lateRequests=$(awk -v r="$rounds" '{ n += $1 } END { print n / r }' "$work/requests-late")
lateDelays=$(awk -v n="$lateRequests" -v d="$lateMs" 'BEGIN { print n * d }')

# One list refresh and one install, each against a fresh server that records every request.
count_requests() {
    record=$1
    shift
    start_server "$record"
    "$@" || true
    stop_server
}
count_requests "$work/requests-list" measured_vyrpm "$work/l" "$work/ignored" list
fresh_home "$work/c"
count_requests "$work/requests-install" measured_vyrpm "$work/c" "$work/ignored" install Big --format VST3

# --- the table ------------------------------------------------------------------------------------

ms() { awk -v v="$1" 'BEGIN { if (v == "") print "n/a"; else if (v >= 1000) printf "%.2f s", v / 1000; else printf "%.1f ms", v }'; }
mib() { awk -v v="$1" 'BEGIN { if (v == "") print "n/a"; else printf "%.1f MiB", v / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b == 0) print "n/a"; else printf "%.2f", a / b }'; }
figure() { [ -s "$results/$1" ] && median "$results/$1" "$2" || say ""; }
requests() {
    if [ ! -s "$1" ]; then
        say "none"
        return
    fi
    total=$(awk '{ n += $1 } END { print n }' "$1")
    twice=$(awk '$1 > 1 { printf "%s%s x%d", sep, $2, $1; sep = ", " }' "$1")
    say "$total, $([ -n "$twice" ] && say "asked more than once: $twice" || say "none twice")"
}

vyrpmWall=$(figure vyrpm-install 1)
handWall=$(figure hand-install 1)
cpus=$(nproc)
model=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
archive=$(awk -v s="$(wc -c <"$site/files/$bigBuild")" 'BEGIN { printf "%.0f MB", s / 1000000 }')

say
say "Medians of $rounds rounds on $cpus cores${model:+ ($model)}; archive $archive."
say
say "| measure | figure | aim |"
say "|---|---|---|"
say "| install, vyrpm: wall time | $(ms "$vyrpmWall") | |"
say "| install by hand (curl + unzip + cp): wall time | $(ms "$handWall") | |"
say "| install: ratio vyrpm / by hand | $(ratio "$vyrpmWall" "$handWall") | at most 1.1 |"
say "| install, vyrpm: peak resident memory | $(mib "$(figure vyrpm-install 3)") | at most 40 MiB |"
say "| install again over it, vyrpm (ROM and user-file checks, old copy aside): wall time | $(ms "$(figure vyrpm-reinstall 1)") | |"
say "| by hand: download / unpack / copy | $(ms "$(figure hand-download 1)") / $(ms "$(figure hand-unpack 1)") / $(ms "$(figure hand-copy 1)") | |"
say "| list, 2,000 builds and 4,096 folders: CPU time | $(ms "$(figure list 2)") | at most 100 ms |"
say "| list, 100,000 builds and 4,096 folders: CPU time | $(ms "$(figure list-huge 2)") | at most 5 s |"
say "| help (start-up): wall / CPU time | $(ms "$(figure help 1)") / $(ms "$(figure help 2)") | at most 5 ms |"
say "| curl --version (start-up): wall time; ratio help / curl | $(ms "$(figure curl-version 1)"); $(ratio "$(figure help 1)" "$(figure curl-version 1)") | ratio under 0.5 |"
say "| list, $lateReleases releases, every answer $lateMs ms late: wall time / its $lateRequests answers waited for one after another, the delays alone | $(ms "$(figure list-late 1)") / $(ms "$lateDelays") | at most 1.5 s |"
say "| changelog, 1 MiB of continuation lines after a tag closing 512 KiB in: wall time / peak resident memory | $(ms "$(figure changelog-large 1)") / $(mib "$(figure changelog-large 3)") | at most 1 s / 40 MiB |"
say "| paths, settings.xml of 2 MB of entities: wall time | $(ms "$(figure settings-entities 1)") | at most 1 s |"
say "| paths VST3 /x, settings.xml of 1 MB of entities in 16 values: wall time | $(ms "$(figure settings-values 1)") | at most 1 s |"
say "| paths VST3 /x, settings.xml of 30,000 unknown elements: wall time | $(ms "$(figure settings-unknown 1)") | at most 1 s |"
say "| requests of one list refresh | $(requests "$work/requests-list") | each once |"
say "| requests of one install | $([ -z "$installFailed" ] && requests "$work/requests-install" || say "n/a: the install failed") | each once |"
[ -z "$installFailed" ] || say "vyrpm install failed: $installFailed"
[ -z "$listFailed" ] || say "vyrpm list failed: $listFailed"
[ -z "$lateFailed" ] || say "vyrpm list with late answers failed: $lateFailed"
[ -z "$changelogFailed" ] || say "vyrpm changelog of the large changelog failed: $changelogFailed"
say
say "Requests of one list refresh:"
sed 's/^/  /' "$work/requests-list"
say "Requests of one install:"
sed 's/^/  /' "$work/requests-install"
