#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the suite need,
# but only those that are missing. Nothing is downloaded from anywhere but apt.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config
  # test and benchmark frameworks; the start-up benchmark's X display and probe
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth libxdamage-dev libxfixes-dev
  # keys and clicks through the X server for the tests of the running programs
  xdotool
  # user interface, PDF and printing
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # XML, stylesheets, character sets
  libxml2-dev libxslt1-dev libxml2-utils
  # Excel workbooks
  libxlsxwriter-dev
  # independent Modbus peers: for the device simulator, and for the driver's wire-fault tests
  libmodbus-dev python3-pymodbus
  # independent readers of what the suite writes
  libjpeg62-turbo-dev imagemagick poppler-utils python3 python3-openpyxl python3-scapy unzip
  # serial and network test rigs
  socat iproute2 iputils-ping
  # the BOOTP benchmark's reference server (the binary alone: no service is started)
  dnsmasq-base
  # fonts so reports and offscreen windows render text
  fonts-dejavu-core
  # Hangul glyphs for reports of Korean documentation
  fonts-nanum
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
