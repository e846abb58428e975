#!/bin/sh
# A newcomer's first ten minutes with vyrpm, against a small sample builds site served on loopback:
# list, login, list again, install, list with the installed version, changelog, uninstall, each
# command printed before its output.
#
# Usage: scripts/try.sh [build folder]
#
# It uses the test build of the program (whose web addresses point at the loopback server) and
# builds it first when needed, in the given folder, else in build-ci or build when one of them is a
# test build, else in a new build. Everything the run writes (the site, the home folder, the
# settings, the plug-in folders, the program's temporary files) lies in one temporary folder that
# is removed at the end. Needs a POSIX shell and the packages of the test command (.ci/run).
set -eu
cd "$(dirname "$0")/.."
. scripts/sampleSite.sh

arch=$(uname -m)
user=demo
password=demo-pass

say() { printf '%s\n' "$*"; }
fail() { say "try.sh: $*" >&2; exit 1; }

is_test_build() { grep -qs '^VYRPM_BUILD_TESTS:BOOL=ON' "$1/CMakeCache.txt"; }

choose_build_folder() {
    if [ $# -gt 0 ] && [ -n "$1" ]; then
        say "$1"
    elif is_test_build build-ci; then
        say build-ci
    else
        say build
    fi
}

build_programs() {
    # A test build made with sudo belongs to root; its programs serve as they are.
    if [ ! -w "$build" ] && [ -x "$build/tests/vyrpmTestBinary" ] && [ -x "$build/tests/vyrpmSampleSite" ]; then
        say "Using the programs in $build as they are (the folder is not ours to build in)."
        return
    fi
    if ! is_test_build "$build"; then
        say "Configuring a test build in $build ..."
        cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVYRPM_BUILD_TESTS=ON >"$build.try-log" 2>&1 ||
            fail "cannot configure $build (see $build.try-log); run the test command of the README first"
        rm -f "$build.try-log"
    fi
    say "Building the test build of vyrpm and the sample site in $build ..."
    cmake --build "$build" -j "$(nproc)" --target vyrpmTestBinary vyrpmSampleSite >/dev/null ||
        fail "the build failed; run: cmake --build $build --target vyrpmTestBinary vyrpmSampleSite"
}

# A plug-in bundle of product $1, format $2, version $3 in folder $4, laid out as the maker ships
# it for Linux.
make_bundle() {
    product=$1 format=$2 version=$3 folder=$4
    mkdir -p "$folder"
    case $format in
    VST3)
        mkdir -p "$folder/$product.vst3/Contents/$arch-linux" "$folder/$product.vst3/Contents/Resources"
        say "$product $format $version (sample)" >"$folder/$product.vst3/Contents/$arch-linux/$product.so"
        say "{\"Name\": \"$product\", \"Version\": \"$version\"}" >"$folder/$product.vst3/Contents/Resources/moduleinfo.json"
        ;;
    CLAP)
        say "$product $format $version (sample)" >"$folder/$product.clap"
        ;;
    LV2)
        mkdir -p "$folder/$product.lv2"
        say "$product $format $version (sample)" >"$folder/$product.lv2/$product.so"
        cat >"$folder/$product.lv2/manifest.ttl" <<EOF
<urn:kestavel:$product> a <http://lv2plug.in/ns/lv2core#Plugin> ;
    <http://www.w3.org/2000/01/rdf-schema#seeAlso> <$product.ttl> .
EOF
        cat >"$folder/$product.lv2/$product.ttl" <<EOF
<urn:kestavel:$product>
    doap:revision "$version" .
EOF
        ;;
    esac
}

# The release file of product $1, format $2, version $3, zipped into folder $4.
make_build() {
    name="Kestavel-$1-$2-$3-Linux_$arch.zip"
    make_bundle "$1" "$2" "$3" "$work/bundle-$name"
    mkdir -p "$4"
    zip_folder "$4/$name" "$work/bundle-$name" || fail "cannot zip $name"
    rm -rf "$work/bundle-$name"
}

# The site below $site in the layout of the program's endpoints (tests/support/testEndpoints.h):
# the public product list, our copy of the public release list, one channel folder behind a
# donator login, and the public changelog.
make_site() {
    mkdir -p "$site/site/installer" "$site/site/builds" "$site/raw/morvatek/clavendrome/main/doc"
    cat >"$site/site/installer/plugins.json" <<'EOF'
{"products": [
  {"id": "Aurora", "slug": "aurora", "name": "Aurora", "description": "A sample synthesizer",
   "manufacturer": "Kestavel", "category": "Synth", "year": 2024},
  {"id": "Borealis", "slug": "borealis", "name": "Borealis", "description": "A sample reverb",
   "manufacturer": "Kestavel", "category": "Effect", "year": 2023}
]}
EOF
    make_build Aurora VST3 1.0.0 "$site/files"
    make_build Aurora CLAP 1.0.0 "$site/files"
    make_build Borealis LV2 2.1.0 "$site/files"
    # A newer Aurora for donators only.
    make_build Aurora VST3 1.1.0 "$site/server/builds/aurora/donators"

    cat >"$site/raw/morvatek/clavendrome/main/doc/changelog.txt" <<'EOF'
Version 1.0.0:

Aurora:
- First public release

Borealis:
- First public release
EOF
    cat >"$site/server/builds/aurora/donators/changelog.txt" <<'EOF'
Version 1.1.0:

Aurora:
- [VST3] Presets load in half the time
- No click when switching voices

DSP:
- Smoother filter sweeps

Version 1.0.0:

Aurora:
- First public release
EOF
}

# Our copy of the public release list points at the loopback server, so it is written once the
# server's address is known.
write_release_list() {
    say '["v1.0.0"]' >"$site/site/builds/versions.json"
    assets=
    for file in "$site"/files/*.zip; do
        name=$(basename "$file")
        assets="$assets${assets:+,
    }{\"name\": \"$name\", \"browser_download_url\": \"${base}files/$name\"}"
    done
    cat >"$site/site/builds/v1.0.0.json" <<EOF
{"tag_name": "v1.0.0", "published_at": "2024-05-01T10:00:00Z", "assets": [
    $assets
]}
EOF
}

start_server() {
    "$bin/vyrpmSampleSite" serve "$site" --login /server/builds/aurora/donators/ "$user" "$password" \
        --url-file "$work/url" >/dev/null &
    server=$!
    wait_for_site "$work/url"
    base=$(cat "$work/url")
}

cleanup() {
    if [ -n "${server:-}" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
}

# One command as the user would type it, then its output; a failing command does not end the run.
run() {
    printf '\n$ vyrpm %s\n' "$*"
    if "$bin/vyrpmTestBinary" "$@" --settings "$work/settings"; then
        :
    else
        say "(exit $?)"
    fi
}

build=$(choose_build_folder "${1:-}")
build_programs
bin=$(cd "$build/tests" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/vyrpm-try.XXXXXX")
server=
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
site=$work/site
make_site
start_server
write_release_list

# The program sees a home, data and temporary folder of its own, all inside the work folder.
mkdir -p "$work/home" "$work/tmp"
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" VYR_DATA_FOLDER="$work/data" \
    TMPDIR="$work/tmp" VYRPM_TEST_SERVER="$base"
unset XDG_CONFIG_HOME

say
say "A sample builds site runs at $base: Aurora (VST3, CLAP) and Borealis (LV2) are public,"
say "and a newer Aurora waits in the donators folder behind the login $user / $password."
say "Every command below also gets --settings $work/settings and a home folder of its own."

run list
run login donators aurora --user "$user" --password "$password"
run list
run install Aurora
run list Aurora
run changelog Aurora
run uninstall Aurora
run list Aurora

say
say "Done. Everything above lived in $work, which is removed now."
