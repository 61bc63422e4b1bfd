#!/bin/sh
# Installs the Debian 12 packages that building, testing and running Datebell need.
set -eu
packages="qt6-base-dev qt6-qpa-plugins libsqlite3-dev libical-dev pkg-config cmake ninja-build g++ sqlite3
  xvfb xauth xdotool openbox faketime imagemagick fonts-dejavu-core fonts-liberation2 locales libbenchmark-dev remind
  clang-format desktop-file-utils systemd clang libclang-rt-14-dev"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $packages
