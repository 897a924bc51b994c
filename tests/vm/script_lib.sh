# Shared by the VM's script tests (sourced): a temporary folder removed on
# exit, the failure flag and the one-line reports.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

pass() { echo "ok   $1"; }
failed() { echo "FAIL $1"; fail=1; }

# check NAME STATUS: passes when STATUS is 0
check() { if [ "$2" -eq 0 ]; then pass "$1"; else failed "$1"; fi; }
