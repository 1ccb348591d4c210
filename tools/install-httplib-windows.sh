#!/usr/bin/env bash
# Installs the whole cpp-httplib header for zarn_host.exe's front-end.
# Debian's libcpp-httplib-dev holds only the declarations (the rest is in a
# Linux library), so the Windows builds compile the header of the same
# Debian source package, with Debian's patches, as a header-only library.
#
#   tools/install-httplib-windows.sh [FOLDER]   (default /usr/local/share/zarn/cross-httplib)
#
# Needs deb-src entries for Debian 12 (added when missing) and dpkg-dev.
set -euo pipefail
dest=${1:-/usr/local/share/zarn/cross-httplib}
version=$(dpkg-query -W -f '${Version}' libcpp-httplib-dev)
if [ -f "$dest/httplib.h" ] && [ "$(cat "$dest/VERSION" 2>/dev/null)" = "$version" ]; then
  exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! apt-get source --print-uris cpp-httplib >/dev/null 2>&1; then
  $sudo tee /etc/apt/sources.list.d/zarn-debian-src.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  $sudo apt-get update -qq
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq "cpp-httplib=$version" >/dev/null 2>&1)
header=$(find "$work" -maxdepth 2 -name httplib.h | head -n 1)
[ -n "$header" ] || { echo "cpp-httplib's source has no httplib.h" >&2; exit 1; }
$sudo mkdir -p "$dest"
$sudo cp "$header" "$dest/httplib.h"
echo "$version" | $sudo tee "$dest/VERSION" >/dev/null
