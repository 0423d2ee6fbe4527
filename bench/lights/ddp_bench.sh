#!/usr/bin/env bash
# What a strip over DDP costs, on loopback inside a private network
# namespace (tests/lights/ddp_namespace.sh; root only).
# Usage: ddp_bench.sh DDP_BENCH MODULE_DIR [SECONDS]
exec bash "$(dirname "${BASH_SOURCE[0]}")/../../tests/lights/ddp_namespace.sh" "$@"
