# Sourced by the demo and the tests: puts the project's Mermaid renderer on PATH and
# points it at Debian's chromium.
torvane_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export PATH="$torvane_root/.tools/mermaid/node_modules/.bin:$PATH"
export PUPPETEER_EXECUTABLE_PATH=/usr/bin/chromium
if [ "$(id -u)" -eq 0 ]; then
    # chromium refuses its sandbox as root.
    export PUPPETEER_DANGEROUS_NO_SANDBOX=true
fi
