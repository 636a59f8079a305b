#!/usr/bin/env bash
# Installs everything torvane needs to build, test and run its demo on Debian 12.
# Idempotent: only missing packages are installed. Runs as root or through sudo.
# Usage: install_deps.sh [debian|mermaid] (default both): the Debian packages, or the Mermaid
# renderer alone, which the test command fetches while it builds.
set -euo pipefail
part="${1:-all}"
case "$part" in
    all | debian | mermaid) ;;
    *) echo "install_deps: unknown part '$part' (debian, mermaid or none for both)" >&2; exit 2 ;;
esac

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"

packages=(
    # build and test
    build-essential cmake ninja-build pkg-config libgtest-dev
    # the test command's builds: a compiler cache and a fast linker for the many debug links
    ccache mold
    # front and utility library
    nlohmann-json3-dev libcli11-dev libspdlog-dev libfmt-dev
    # figdeck
    libhpdf-dev libstb-dev fonts-dejavu-core zlib1g-dev libpng-dev
    # gridpage
    libqpdf-dev
    # chartdoc
    libmd4c-dev libmd4c-html0-dev chromium
    # dealmatch and claimsort
    libzip-dev libexpat1-dev libfreexl-dev libxlsxwriter-dev libcsv-dev libhowardhinnant-date-dev
    # outside tools the tests check outputs with
    poppler-utils qpdf python3-openpyxl
    # makers of committed test fixtures (tests/fixtures/make_*.py)
    python3-xlwt
    # fuzzing (scripts/fuzz.sh): clang with libFuzzer and its sanitizer runtimes
    clang libfuzzer-14-dev
    # packaging and its checks: dpkg-shlibdeps, the manual page, bash completion
    dpkg-dev file groff man-db bash-completion
    # the peers the benchmarks compare with (bench/)
    python3-pandas python3-xlsxwriter python3-markdown img2pdf cmark-gfm
)

install_debian() {
    if [ "$(id -u)" -eq 0 ]; then
        as_root=()
    elif command -v sudo >/dev/null 2>&1; then
        as_root=(sudo)
    else
        echo "install_deps: need root or sudo to install packages" >&2
        exit 1
    fi

    missing=()
    for p in "${packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    # Node may come from another repository that bundles npm; only ask Debian for them when absent.
    command -v node >/dev/null 2>&1 || missing+=(nodejs)
    command -v npm >/dev/null 2>&1 || missing+=(npm)

    if [ ${#missing[@]} -eq 0 ]; then
        echo "install_deps: all Debian packages already installed"
    else
        echo "install_deps: installing ${missing[*]}"
        "${as_root[@]}" apt-get update -q
        DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q \
            --no-install-recommends "${missing[@]}"
    fi
}

# The Mermaid renderer goes into a git-ignored folder of the project; it drives Debian's chromium.
install_mermaid() {
    mmdc_dir="$root/.tools/mermaid"
    if [ -x "$mmdc_dir/node_modules/.bin/mmdc" ]; then
        echo "install_deps: mermaid-cli already installed in $mmdc_dir"
    else
        echo "install_deps: installing @mermaid-js/mermaid-cli into $mmdc_dir"
        mkdir -p "$mmdc_dir"
        PUPPETEER_SKIP_DOWNLOAD=1 npm install --prefix "$mmdc_dir" --no-audit --no-fund \
            @mermaid-js/mermaid-cli@11.17.0 puppeteer@24.43.1
    fi
}

if [ "$part" != mermaid ]; then install_debian; fi
if [ "$part" != debian ]; then install_mermaid; fi
echo "install_deps: done"
