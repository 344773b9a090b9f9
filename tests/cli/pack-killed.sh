#!/usr/bin/env bash
# A "velmora-cli pack create" killed while it writes (SIGTERM, SIGINT, SIGHUP) leaves no file
# behind: neither the package nor a temporary file. Run with unnamed temporary files (where the
# file system has them) and with named ones, which the signal handler removes.
set -eu
cli="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work/in" "$work/out"
# Incompressible input, so that writing takes long enough to be interrupted.
head -c $((48 << 20)) /dev/urandom >"$work/in/gross.bin"
fail() { echo "$*"; exit 1; }
# Job control: background jobs get their own process group and keep SIGINT (a script's background
# jobs otherwise start with SIGINT ignored).
set -m

# Waits until the process has its output file open (unnamed: a deleted file in the output folder).
wait_writing() {
  local pid="$1" i fd
  for i in $(seq 1 200); do
    for fd in /proc/"$pid"/fd/*; do
      case "$(readlink "$fd" 2>/dev/null)" in "$work/out/"*) return 0 ;; esac
    done
    sleep 0.05
  done
  fail "pack create did not start writing"
}

for named in 0 1; do
  for sig in TERM INT HUP; do
    VELMORA_NAMED_TEMP_FILES=$named "$cli" pack create "$work/out/p.vma" "$work/in/gross.bin=gross.bin" >/dev/null 2>&1 &
    pid=$!
    wait_writing "$pid"
    kill -s "$sig" "$pid"
    set +e
    wait "$pid"
    rc=$?
    set -e
    [ "$rc" -gt 128 ] || fail "SIG$sig (named=$named): exit status $rc, the write was not interrupted"
    left=$(ls -A "$work/out")
    [ -z "$left" ] || fail "SIG$sig (named=$named) left: $left"
  done
done
echo "ok"
