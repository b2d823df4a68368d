# tools/syscall-profile.awk: sums the per-thread traces of `strace -ff -o DIR/t` by process.
#   awk -f tools/syscall-profile.awk DIR/t.*
# Prints, for every Windows program that ran (the name after Wine's loader in its execve), one line:
#   "syscalls NAME threads T total N write W writev V read R stat S open O"
# Under Wine every request to the wineserver is one write or writev, so W + V counts the round trips.
FNR == 1 { tid = FILENAME; sub(/.*\./, "", tid) }
{ sub(/^[0-9:.]+ /, "") } # strace -tt
/^execve\(/ && / = 0$/ {
    # The exec that succeeded names the program: wine's loader, then the program's own path.
    if (match($0, /\[[^]]*\]/)) {
        n = split(substr($0, RSTART + 1, RLENGTH - 2), argv, /"(\.\.\.)?, "/)
        first = 1
        while (first < n && argv[first] ~ /\/wine[^\/]*$/) first++
        program = argv[first]
        gsub(/"|\.\.\.$/, "", program)
        sub(/.*[\\\/]/, "", program)
        name[tid] = program
    }
}
/^clone3?\(/ && /CLONE_THREAD/ && match($0, /= [0-9]+$/) { leader[substr($0, RSTART + 2)] = tid }
{
    call = $0
    sub(/\(.*/, "", call)
    if (call ~ /^[a-z_0-9]+$/) count[tid, call]++
    total[tid]++
}
END {
    for (t in total) {
        p = t
        while (p in leader) p = leader[p]
        group[t] = p
    }
    split("write writev read newfstatat openat", calls, " ")
    for (t in total) {
        p = group[t]
        if (!(p in name)) continue
        threads[p]++
        sum[p] += total[t]
        for (i in calls) part[p, calls[i]] += count[t, calls[i]]
    }
    for (p in sum)
        printf "syscalls %s threads %d total %d write %d writev %d read %d stat %d open %d\n", name[p], threads[p],
               sum[p], part[p, "write"], part[p, "writev"], part[p, "read"], part[p, "newfstatat"], part[p, "openat"]
}
