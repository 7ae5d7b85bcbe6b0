#!/usr/bin/env bash
# The product's main job on the embedded default. For now: installs and
# builds, and says what is there and what is still to come.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=build/run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"
cat <<MSG

Built in $build:
  - the wire contract (proto/) and the client dataset engine (platform/data/)
  - the packet benchmark: $build/bench/zel-bench-packets
Still to come: zel-server (application server), zel-host (desktop shell) and
the review module; this command will then start them on a demo database.
MSG
