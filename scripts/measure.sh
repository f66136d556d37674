# Sourced by the benchmark scripts.

# Runs a command over and over; prints "median-seconds max-rss-kib" of runs.
measure() {
    local runs=$1
    shift
    local times=() rss=0 line out
    out=$(mktemp)
    for _ in $(seq "$runs"); do
        /usr/bin/time -o "$out" -f '%e %M' "$@" >/dev/null 2>&1 || true
        line=$(tail -1 "$out")
        times+=("${line% *}")
        if ((${line#* } > rss)); then rss=${line#* }; fi
    done
    rm -f "$out"
    printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")" "$rss"
}
