#!/bin/sh
# Runs a suite in a network of its own, with only its loopback up: the fixed
# ports of its servers (nginx's statistics and download ports, the BI
# service's) are then its own, and suites run side by side.
exec unshare --net -- sh -c 'ip link set lo up && exec "$@"' own_network "$@"
