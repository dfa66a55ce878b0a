# Sourced by the scripts. quiet LOG COMMAND...: runs a command with its output in LOG, shows that
# output only when the command fails, and then calls the sourcing script's own fail.
quiet() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 || {
        cat "$log" >&2
        fail "$* failed (its output is above)"
    }
}
