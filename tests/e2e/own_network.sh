#!/bin/sh
# Runs a suite in a network and a process list of its own, with only its
# loopback up: the fixed ports of its servers (nginx's statistics and download
# ports, the BI service's) are then its own, and so are the processes the
# program looks for by name (the platform's hand-shake), so suites run side
# by side. The shell stays the namespace's first process: it reaps the
# programs a suite leaves orphaned, and when it ends, everything the suite
# started ends with it.
exec unshare --net --pid --fork --kill-child --mount-proc -- sh -c 'ip link set lo up && "$@"' own_network "$@"
