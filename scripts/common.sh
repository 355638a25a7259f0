# Shared by scripts/run and scripts/test: install what is missing, configure, build.
set -euo pipefail

VEVA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VEVA_BUILD=${VEVA_BUILD:-$VEVA_ROOT/build}

VEVA_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libbenchmark-dev
    libzip-dev libexpat1-dev libgsf-1-dev libxlsxwriter-dev
    python3-xlrd python3-openpyxl
    clang libclang-rt-14-dev
    xvfb xauth fonts-dejavu-core
    desktop-file-utils appstream lintian help2man
    qt6-httpserver-dev qt6-websockets-dev kannel kannel-extras
)

veva_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

veva_install_packages() {
    local missing=()
    for p in "${VEVA_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        veva_sudo apt-get update -qq
        veva_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

veva_build() {
    if [ ! -f "$VEVA_BUILD/build.ninja" ]; then
        cmake -S "$VEVA_ROOT" -B "$VEVA_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
    cmake --build "$VEVA_BUILD" --parallel "$(nproc)"
}
