#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Spoolwarp needs.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
    cmake g++ ninja-build ccache pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    juce-modules-source juce-tools libjack-jackd2-dev
    xvfb libgl1-mesa-dri xdotool imagemagick x11-utils
    jackd2
    clang libclang-rt-14-dev clang-format
    fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
# jackd2 asks about real-time priority; answer no without a prompt.
echo "jackd2 jackd/tweak_rt_limits boolean false" | "${sudo_cmd[@]}" debconf-set-selections
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
