# Runs a program inside a private network namespace whose only link is lo,
# so that nothing it sends can reach a real network (root only; exit 77
# otherwise). Usage: ddp_namespace.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
if [ -z "${CHROMOLA_DDP_NS:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: a private network namespace needs root" >&2
    exit 77
  fi
  CHROMOLA_DDP_NS=1 exec unshare --net bash "$0" "$@"
fi
if [ "$(readlink /proc/self/ns/net)" = "$(readlink /proc/1/ns/net)" ]; then
  echo "not inside a private network namespace" >&2
  exit 1
fi
ip link set lo up
links=$(ip -o link show | awk -F': ' '{print $2}' | tr '\n' ' ')
if [ "$links" != "lo " ]; then
  echo "unexpected links in the namespace: $links" >&2
  exit 1
fi
exec "$@"
