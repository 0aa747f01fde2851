#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need, when missing.
set -euo pipefail
pkgs=(build-essential cmake pkg-config libsqlite3-dev sqlite3 libgtest-dev libgmock-dev clang qt6-base-dev libgl-dev xvfb xauth)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run as root or install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi
