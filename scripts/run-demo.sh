#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the encoder probe.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build" >/dev/null

set +e
"$root/build/bin/encprobe" "$@"
rc=$?
set -e
echo "encprobe exit status: $rc (the low 8 bits of the mask)"
