# Shared by the VM's script tests (sourced): a temporary folder removed on
# exit, the failure flag, the one-line reports and a newline ($nl).
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

nl='
'

pass() { echo "ok   $1"; }
failed() { echo "FAIL $1"; fail=1; }

# check NAME STATUS: passes when STATUS is 0
check() { if [ "$2" -eq 0 ]; then pass "$1"; else failed "$1"; fi; }

# Many z6vm command lines run in one process (z6vm_batch, beside this file):
# starting the sanitizer build costs far more than a short case.
#   add_job NAME [--stdin FILE] ARGS...   one more command line, named
#   run_jobs BATCH                        runs those added so far
# leave each job's standard output, error and exit status in $jobs/NAME.out,
# NAME.err and NAME.status; a batch that ends early (a crash, a hang) fails.
jobs=$tmp/jobs
joblist=
add_job() {
    [ -n "$joblist" ] && joblist="$joblist --next"
    for a; do # single-quoted, so that any argument comes through whole
        q= rest=$a
        while :; do
            case $rest in
            *\'*) q="$q${rest%%\'*}'\\''"; rest=${rest#*\'} ;;
            *) break ;;
            esac
        done
        joblist="$joblist '$q$rest'"
    done
}
run_jobs() {
    batch=$1
    eval "set -- $joblist"
    joblist=
    mkdir -p "$jobs"
    "$batch" "$jobs" "$@" 2> "$tmp/batch.err"
    batch_status=$?
    if [ "$batch_status" -ne 0 ]; then
        failed "z6vm_batch ended with status $batch_status"
        cat "$tmp/batch.err"
    fi
}

# job_status NAME: sets $status to the job's exit status, or "none" when it
# never ended
job_status() {
    status=none
    [ -f "$jobs/$1.status" ] && read -r status < "$jobs/$1.status"
}

# job_is NAME STATUS: whether the job ended with that status
job_is() { job_status "$1"; [ "$status" = "$2" ]; }

# Exact comparisons of many file pairs with one process (a digest of each):
#   compare_pairs WANT GOT [WANT GOT]...
# then pair_same, once per pair in the same order, succeeds when the pair's
# contents are the same. A missing file reads as empty.
compare_pairs() {
    for f; do
        shift
        if [ -e "$f" ]; then set -- "$@" "$f"; else set -- "$@" /dev/null; fi
    done
    sha256sum "$@" > "$tmp/sums"
    exec 3< "$tmp/sums"
}
pair_same() {
    read -r want_sum want_rest <&3
    read -r got_sum got_rest <&3
    [ "$want_sum" = "$got_sum" ]
}
