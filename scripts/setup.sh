#!/usr/bin/env bash
# Installs the Debian packages Pagelume needs that are not installed yet.
#   scripts/setup.sh          what building and running needs
#   scripts/setup.sh --test   that, plus the test tools and oracles
set -euo pipefail

packages=(cmake make g++ pkg-config qt6-base-dev libgl-dev libjpeg62-turbo-dev zlib1g-dev
          libarchive-dev libgif-dev
          fonts-dejavu-core fonts-liberation2 fonts-wqy-microhei)
if [[ "${1:-}" == "--test" ]]; then
    packages+=(libgtest-dev libgmock-dev python3 unzip zip p7zip-full libarchive-tools
               epubcheck default-jre-headless libpng-dev time
               desktop-file-utils appstream groff-base dpkg-dev file mupdf-tools imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        if command -v sudo >/dev/null; then
            sudo=(sudo)
        else
            echo "Please install these packages as root: ${missing[*]}" >&2
            exit 1
        fi
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
