#!/usr/bin/env bash
# Sets everything up, builds torvane and runs every tool on the sample inputs under examples/.
# The inputs are copied first, so the examples themselves are never changed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

bash "$root/scripts/install_deps.sh"
# shellcheck source=mermaid_env.sh
source "$root/scripts/mermaid_env.sh"

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target torvane

export TORVANE="$root/build/torvane"
demo_root="$root/build/demo"
rm -rf "$demo_root"
mkdir -p "$demo_root"
for script in "$root"/examples/*/demo.sh; do
    tool="$(basename "$(dirname "$script")")"
    export DEMO_OUT="$demo_root/$tool"
    mkdir -p "$DEMO_OUT"
    echo
    echo "=== $tool ==="
    (cd "$DEMO_OUT" && bash "$script")
done
echo
echo "Demo results are in $demo_root:"
for dir in "$demo_root"/*/; do
    echo "  $dir"
done
