# Sourced by the scripts that run a cart headless. A run must end with status 1
# when the output its .expected file holds reports an error that stops the cart
# (or a program refused as too large), and 0 otherwise; a run with no
# .expected file must end with 0.
# check_cart_status NAME STATUS EXPECTED_FILE: prints why and returns 1 on a mismatch.
check_cart_status() {
    want=0
    if [ -f "$3" ] && grep -q '^runtime error\|^syntax error\|^program too large\|^bad poke at' "$3"; then
        want=1
    fi
    [ "$2" -eq "$want" ] && return 0
    echo "$1: exit status $2, expected $want"
    return 1
}
