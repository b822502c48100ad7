# Sourced by the kelmo-convert case scripts once they have set program and case_name:
# a scratch folder to work in (removed at exit) and the checks.

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1

failures=0
fail() {
    echo "FAIL [$case_name]: $*" >&2
    failures=$((failures + 1))
}

# run ARGS...: sets rc, out, err.
run() {
    "$program" "$@" >stdout.txt 2>stderr.txt
    rc=$?
    out=$(cat stdout.txt)
    err=$(cat stderr.txt)
}
expect_rc() { [ "$rc" -eq "$1" ] || fail "exit code $rc, expected $1 (stderr: $err)"; }
expect_eq() { [ "$2" == "$3" ] || fail "$1: got [$2], expected [$3]"; }
expect_contains() { [[ "$2" == *"$3"* ]] || fail "$1: [$2] lacks [$3]"; }
expect_one_line() { [ "$(wc -l <stderr.txt)" -eq 1 ] || fail "stderr is not one line: [$err]"; }
expect_file() { [ -f "$1" ] || fail "missing $1"; }
expect_no_file() { [ ! -e "$1" ] || fail "unexpected $1"; }
