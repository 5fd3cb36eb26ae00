#!/usr/bin/env bash
# Runs a test program in a process namespace of its own, with its own /proc:
# it sees, counts and terminates only the processes it starts itself, while
# other builds and test runs on the machine start programs of the same names.
# A shell is the namespace's first process, so that a program the test hands
# over to the system is not the test's own child, and whatever the test leaves
# running ends with it.
#   own_processes.sh PROGRAM ARGUMENTS...
set -euo pipefail
userns=()
[ "$(id -u)" -eq 0 ] || userns=(--map-root-user)
exec unshare "${userns[@]}" --pid --fork --mount-proc --kill-child \
  bash -c '"$@" & wait $!' bash "$@"
