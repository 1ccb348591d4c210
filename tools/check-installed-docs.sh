#!/usr/bin/env bash
# Checks that the documentation an SDK installation carries stands alone: no
# guide, template file, manual page or public header names a path of this
# repository (host/..., tests/..., tools/..., build/dev/..., cmake/...,
# docs/...) or its README, which an SDK user does not have.
#
#   tools/check-installed-docs.sh PREFIX     an SDK installed with cmake --install
#   tools/check-installed-docs.sh DEB_FILE   the Debian package's files
#
# A path that merely ends in such a name (lib/cmake/..., zarn/tools/...,
# $ZARN_SDK/...) is a path of the installation or of the user's own checkout
# and passes; so does the panel's own build folder (build/libmy_panel.so).
set -euo pipefail
target=${1:?usage: $0 PREFIX | $0 DEB_FILE}
if [ -f "$target" ]; then
  unpacked=$(mktemp -d)
  trap 'rm -rf "$unpacked"' EXIT
  dpkg-deb -x "$target" "$unpacked"
  prefix=$unpacked/usr
else
  prefix=$target
fi

# Folders of this repository, and the build folders of its presets.
repo='(host|tests|tools|cmake|docs|fuzz|bench|panels|compat|templates|schema)/'
builds='build/(dev|ci|asan|m32|win32|win64|fuzz|wine-prefix|panel-guide)'
pattern="(^|[^[:alnum:]_./\$~-])($repo|$builds)|the README|README's"

files=()
for glob in "$prefix"/share/doc/zarn-script-frame-dev/*.md "$prefix"/share/zarn_script_frame/panel_template/* \
            "$prefix"/include/zarn/*.h "$prefix"/share/man/man1/zarn_host.1.gz; do
  [ -f "$glob" ] && files+=("$glob")
done
if [ ${#files[@]} -lt 5 ]; then
  echo "check-installed-docs: no installed documentation under $prefix" >&2
  exit 2
fi
found=0
for file in "${files[@]}"; do
  shown=${file#"$prefix"/}
  case "$file" in
    *.gz) text=$(gzip -dc "$file") ;;
    *) text=$(cat "$file") ;;
  esac
  hits=$(grep -nE -- "$pattern" <<<"$text" || true)
  if [ -n "$hits" ]; then
    found=1
    sed "s|^|$shown:|" <<<"$hits" >&2
  fi
done
if [ "$found" -ne 0 ]; then
  echo "check-installed-docs: the lines above name files of the repository, which an installed SDK does not have" >&2
  exit 1
fi
echo "check-installed-docs: ${#files[@]} installed files name only installed paths"
