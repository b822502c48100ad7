#!/bin/bash
# Stands in for soffice: fake-converter.sh MODE RECORD <soffice arguments>.
# RECORD receives this process's id on its first line, then the soffice arguments;
# RECORD.pids gains the ids of it and of every process it starts, RECORD.term a line on
# SIGTERM.
mode=$1
record=$2
shift 2
{ echo $$; printf '%s\n' "$@"; } >"$record"
echo $$ >>"$record.pids"
# A sleeper in the background; with job control on, it also gets a process group of its own.
spawn() { sleep 300 & echo $! >>"$record.pids"; }
outdir=
input=
while [ $# -gt 0 ]; do
    case $1 in
        --outdir) outdir=$2; shift ;;
        *) input=$1 ;;
    esac
    shift
done
html="$outdir/$(basename "${input%.*}").html"

case $mode in
    slow) sleep 0.5 ;&
    ok)
        printf '<html><head><meta http-equiv="content-type" content="text/html; charset=utf-8"/></head>\n<body><h1>Привет α</h1><img src="i_html_1.png"/><img src="i_html_1.png"/></body></html>\n' >"$html"
        printf 'PNG' >"$outdir/i_html_1.png"
        echo "convert $input -> $html using filter : HTML (StarWriter)"
        ;;
    hang) spawn; set -m; spawn; wait ;;
    orphan) spawn ;;
    stubborn)
        trap 'echo TERM >"$record.term"' TERM
        (trap '' TERM; exec sleep 300) & echo $! >>"$record.pids"
        while :; do sleep 1 & wait $!; done
        ;;
    silent) ;;
    empty) : >"$html" ;;
    crash) spawn; kill -SEGV $$ ;;
    error)
        echo "Warning: failed to launch javaldx - java may not function correctly" >&2
        echo "Error: source file could not be loaded" >&2
        ;;
    status) echo "Не хватает памяти.. " >&2; exit 3 ;;
    quiet-status) exit 5 ;;
esac
exit 0
