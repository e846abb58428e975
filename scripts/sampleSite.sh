# Sourced by try.sh and bench.sh.

# Packs the files below folder $2 into a new archive $1, with paths relative to that folder.
zip_folder() {
    archive=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    rm -f "$archive"
    (cd "$2" && zip -q -r "$archive" .)
}

# Waits until the sample site started in the background as $server
# has written its address into the file $1; stops the run through the caller's fail when it ends
# or stays silent for ten seconds.
wait_for_site() {
    tries=0
    while [ ! -s "$1" ]; do
        kill -0 "$server" 2>/dev/null || fail "the sample site did not start"
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || fail "the sample site did not say where it listens"
        sleep 0.1
    done
}
