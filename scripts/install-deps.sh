#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: quiet and quick
# when everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libgl-dev
  libgrpc++-dev protobuf-compiler-grpc libprotobuf-dev protobuf-compiler
  libsodium-dev libsqlite3-dev libpq-dev
  postgresql
  libgtest-dev libgmock-dev googletest libbenchmark-dev librapidcheck-dev
  clang libclang-rt-14-dev clang-format
  xvfb xauth fonts-dejavu-core
  fonts-liberation qt6-translations-l10n
  poppler-utils qt6-charts-dev libqt6opengl6-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
