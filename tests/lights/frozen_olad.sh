#!/usr/bin/env bash
# Runs frozen_olad_test against olad in a private network namespace (root
# only; skipped otherwise), universe 1 patched to Art-Net on 127.0.0.1.
# Usage: frozen_olad.sh FROZEN_OLAD_TEST
source "$(dirname "${BASH_SOURCE[0]}")/ola_namespace.sh"
ola_ns_enter "$0" "$@"
ola_start
ola_patch_universe 1
# Closing with olad frozen must end the process, not hang it.
CHROMOLA_OLAD_PID=$OLA_PID timeout 60 "$1"
