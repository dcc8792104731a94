#!/usr/bin/env bash
# Installs what building, running and testing Vask needs on Debian 12, skipping what is already there.
# Usage: scripts/install-deps.sh [run|test|dev]
#   run   building and starting Vask;
#   test  also what the test command builds and runs (test libraries, reference tools, strace);
#   dev   (the default) also what looking at windows under Xvfb and running the benchmarks need.
set -euo pipefail
mode=${1:-dev}
case "$mode" in
  run | test | dev) ;;
  *)
    echo "Usage: $0 [run|test|dev]" >&2
    exit 2
    ;;
esac

pkgs=(cmake ninja-build g++ pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-multimedia-dev
      libmount-dev libblkid-dev libxcb1-dev libxcb-xinput-dev liburing-dev
      fonts-noto-cjk qt6-translations-l10n)
if [ "$mode" != run ]; then
  pkgs+=(libgtest-dev libgmock-dev
         lhasa libarchive-tools p7zip-full trash-cli
         findutils strace util-linux e2fsprogs)
fi
if [ "$mode" = dev ]; then
  pkgs+=(xvfb xauth imagemagick bfs)
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
