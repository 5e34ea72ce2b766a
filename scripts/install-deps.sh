#!/usr/bin/env bash
# Installs what building, running and testing Sparvik needs on Debian 12.
set -euo pipefail
packages=(
  g++ cmake ninja-build pkg-config
  libncurses-dev libserialport-dev libtomlplusplus-dev libspdlog-dev libfmt-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  tmux util-linux procps
)
if [[ "${SPARVIK_WITH_FUZZ:-0}" == 1 ]]; then packages+=(clang-19 libclang-rt-19-dev); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
