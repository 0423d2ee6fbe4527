#!/usr/bin/env bash
# What light output costs (CPU, tick-to-packet latency, the longest
# ShowColour with olad running and frozen), against a real olad in a network
# namespace of its own set up as for the tests (tests/lights/ola_namespace.sh;
# root only). Usage: lights_bench.sh BENCH_LIGHTS [SECONDS]
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/lights/ola_namespace.sh"
ola_ns_enter "$0" "$@"
ola_start
ola_patch_universe 1
"$1" "$OLA_PID" "${2:-10}"
