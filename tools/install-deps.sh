#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, skipping those already present.
# Usage: tools/install-deps.sh [--fuzz]
set -euo pipefail

packages=(cmake g++ make pkg-config libgtest-dev libpugixml-dev nlohmann-json3-dev zstd xz-utils bzip2 gzip libblkid-dev clang-format-14
          # The desktop program: Qt 6, libcurl for its online services, fixed fonts and icons so
          # screenshots and tests look the same everywhere, and a virtual display to try it on.
          qt6-base-dev libcurl4-openssl-dev fonts-dejavu-core adwaita-icon-theme xvfb xauth)
if [[ "${1:-}" == "--fuzz" ]]; then packages+=(clang); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
