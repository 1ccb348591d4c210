#!/usr/bin/env bash
# Follows docs/WRITING_A_PANEL.md in an empty folder: runs its ```sh blocks in
# order, and the blocks of one way of installing the SDK (```sh deb or
# ```sh prefix), as one shell script that stops at the first failing command.
#
#   tools/run-panel-guide.sh deb DEB_FILE     the Debian package, installed with apt-get
#   tools/run-panel-guide.sh prefix           built from this checkout into a folder
#
# The guide's $HOME is the folder build/panel-guide/<mode> of this checkout,
# emptied first and kept afterwards: for "prefix" the checkout appears there
# as zarn/, and the SDK build folder is zarn-build/ beside it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-}
case "$mode" in
  deb) deb=$(realpath "${2:?usage: $0 deb DEB_FILE}") ;;
  prefix) ;;
  *) echo "usage: $0 deb DEB_FILE | $0 prefix" >&2; exit 2 ;;
esac

# The commands: plain sh blocks and those of the chosen mode, in document order.
steps=$(awk -v mode="$mode" '
  /^```/ && inside { inside = 0; next }
  /^```sh( |$)/ { inside = ($0 == "```sh" || $0 == "```sh " mode); next }
  inside { print }' "$root/docs/WRITING_A_PANEL.md")
if [ -z "$steps" ]; then
  echo "run-panel-guide: no steps found in docs/WRITING_A_PANEL.md" >&2
  exit 1
fi

# The guide's listings of the template (```cpp, ```cmake) must still be in
# it: every line of a listing, indentation aside, is a line of a template file.
template_lines=$(sed 's/^[[:space:]]*//' "$root"/templates/panel/*)
stale=$(awk '
  /^```/ && inside { inside = 0; next }
  /^```(cpp|cmake)$/ { inside = 1; next }
  inside && NF { sub(/^[[:space:]]+/, ""); print }' "$root/docs/WRITING_A_PANEL.md" | while IFS= read -r line; do
    grep -qxF -- "$line" <<<"$template_lines" || echo "  $line"
  done)
if [ -n "$stale" ]; then
  echo "run-panel-guide: docs/WRITING_A_PANEL.md shows lines templates/panel/ does not have:" >&2
  echo "$stale" >&2
  exit 1
fi

work=$root/build/panel-guide/$mode
rm -rf "$work"
mkdir -p "$work"
if [ "$mode" = deb ]; then
  cp "$deb" "$work/"
else
  ln -s "$root" "$work/zarn"
fi
# The guide's commands run as they are, with no stand-in for sudo: as root
# on a machine without sudo (as CI runs) its $(command -v sudo) is empty.
sudo=$(command -v sudo || true)
if [ "$(id -u)" -eq 0 ]; then
  sudo=""
  if command -v sudo >/dev/null; then
    echo "run-panel-guide: running as root with sudo installed; the guide uses sudo"
  else
    echo "run-panel-guide: running as root without sudo"
  fi
fi
if [ "$mode" = deb ]; then
  # The guide removes the package at its end; a step that fails first leaves
  # it installed, so it is removed here as well.
  trap 'if dpkg -s zarn-script-frame-dev >/dev/null 2>&1; then
          $sudo apt-get remove -y -qq zarn-script-frame-dev >/dev/null; fi' EXIT
fi
(cd "$work" && HOME="$work" DEBIAN_FRONTEND=noninteractive bash -euxo pipefail -c "$steps")
# Step 7's panel, made by zarn_host new-panel: renamed through and through.
made=$work/studio_panel
if grep -rl my_panel "$made" --exclude-dir=build; then
  echo "run-panel-guide: zarn_host new-panel left my_panel in the files above" >&2
  exit 1
fi
grep -qxF 'constexpr char panelFile[] = "studio_panel.zarn_ui";' "$made/studio_panel.cpp" || {
  echo "run-panel-guide: studio_panel.cpp does not name studio_panel.zarn_ui" >&2
  exit 1
}
