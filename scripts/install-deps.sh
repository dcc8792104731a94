#!/usr/bin/env bash
# Installs what building, running and testing Vask needs on Debian 12, skipping what is already there.
# Usage: scripts/install-deps.sh [run|test]
set -euo pipefail
mode=${1:-test}

pkgs=(cmake ninja-build g++ pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-multimedia-dev qt6-l10n-tools
      libmount-dev libblkid-dev libxcb1-dev libxcb-xinput-dev
      fonts-noto-cjk qt6-translations-l10n)
if [ "$mode" = test ]; then
  pkgs+=(libgtest-dev libgmock-dev libbenchmark-dev
         lhasa libarchive-tools p7zip-full trash-cli
         xvfb xauth imagemagick findutils strace util-linux e2fsprogs)
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
