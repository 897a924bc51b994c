# Shared by the VM's script tests (sourced): a temporary folder removed on
# exit, the failure flag and the one-line reports.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

pass() { echo "ok   $1"; }
failed() { echo "FAIL $1"; fail=1; }

# check NAME STATUS: passes when STATUS is 0
check() { if [ "$2" -eq 0 ]; then pass "$1"; else failed "$1"; fi; }

# Many z6vm command lines run in one process (z6vm_batch, beside this file):
# starting the sanitizer build costs far more than a short case.
#   run_jobs BATCH NAME ARGS... [--next NAME ARGS...]...
# leaves each job's standard output, error and exit status in $jobs/NAME.out,
# NAME.err and NAME.status; a batch that ends early (a crash, a hang) fails.
jobs=$tmp/jobs
run_jobs() {
    batch=$1; shift
    mkdir -p "$jobs"
    "$batch" "$jobs" "$@" 2> "$tmp/batch.err"
    batch_status=$?
    if [ "$batch_status" -ne 0 ]; then
        failed "z6vm_batch ended with status $batch_status"
        cat "$tmp/batch.err"
    fi
}

# job_status NAME: the job's exit status, or "none" when it never ended
job_status() {
    s=none
    [ -f "$jobs/$1.status" ] && read -r s < "$jobs/$1.status"
    echo "$s"
}
