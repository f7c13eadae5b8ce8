#!/usr/bin/env bash
# Builds the Windows program and writes dist/norvale-<version>-win64.zip: the
# program, the files compiled clients need, the examples, the documentation
# and INSTALL.txt, in one folder norvale-<version>-win64.
#
#   NORVALE_WINDOWS_TREE   the configured Windows build tree (default build/windows)
#   NORVALE_DIST           where the zip goes (default dist)
#
# Prints the zip's path on standard output; progress goes to standard error.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DEFAULT_TREE=$ROOT/build/windows
TREE=$(realpath -m "${NORVALE_WINDOWS_TREE:-$DEFAULT_TREE}")
DIST=$(realpath -m "${NORVALE_DIST:-$ROOT/dist}")

log() { printf '== %s\n' "$*" >&2; }
fail() { log "$*"; exit 1; }

# The program and monoscreen only: the package needs neither the tests nor the
# benchmarks, and their build must not hold it up.
build() {
  local targets=(--target norvale monoscreen)
  if [ "$TREE" = "$DEFAULT_TREE" ]; then
    # Configured every time, so that the tree's cache holds the preset's values.
    (cd "$ROOT" && cmake --preset windows >/dev/null)
    (cd "$ROOT" && cmake --build --preset windows "${targets[@]}")
  else
    [ -f "$TREE/CMakeCache.txt" ] || fail "$TREE is not a configured build tree"
    cmake --build "$TREE" "${targets[@]}"
  fi
}

log "building norvale.exe and monoscreen.exe in $TREE"
mkdir -p "$TREE"
if ! build >"$TREE/package-build.log" 2>&1; then
  tail -n 40 "$TREE/package-build.log" >&2
  fail "the build failed (whole log: $TREE/package-build.log)"
fi

# The version project() set, as the build that made the executables saw it.
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$TREE/CMakeCache.txt")
[ -n "$VERSION" ] || fail "no CMAKE_PROJECT_VERSION in $TREE/CMakeCache.txt"
NAME=norvale-$VERSION-win64
STAGING=$TREE/package
PACKAGE=$STAGING/$NAME
ZIP=$DIST/$NAME.zip

rm -rf "$STAGING"
mkdir -p "$PACKAGE" "$DIST"
# Stripped: the debugging information would triple the size and carry the
# build machine's paths.
cmake --install "$TREE" --prefix "$PACKAGE" --strip >/dev/null

cp "$ROOT/README.md" "$PACKAGE/"
mkdir -p "$PACKAGE/docs"
shopt -s nullglob
docs=("$ROOT"/docs/*.md)
shopt -u nullglob
[ ${#docs[@]} -eq 0 ] || cp "${docs[@]}" "$PACKAGE/docs/"

# The pictures the documents show, found from their Markdown image links
# (relative to each document); a missing one stops the package.
pictures() {
  local document=$1
  grep -o '!\[[^]]*\]([^)]*)' "$document" | sed 's/^.*](\([^) ]*\).*$/\1/' | grep -v '^[a-z]*://' || true
}
for document in "$ROOT/README.md" "${docs[@]}"; do
  folder=$(dirname "$document")
  while IFS= read -r picture; do
    [ -n "$picture" ] || continue
    source=$(realpath -m "$folder/$picture")
    case "$source" in "$ROOT"/*) ;; *) fail "$document shows $picture, outside the repository" ;; esac
    [ -f "$source" ] || fail "$document shows $picture, which does not exist"
    target=$PACKAGE/${source#"$ROOT"/}
    mkdir -p "$(dirname "$target")"
    cp "$source" "$target"
  done < <(pictures "$document")
done
# A picture of docs/ that no document shows is stale, or a page's missing one.
for picture in "$ROOT"/docs/*.png; do
  [ -f "$PACKAGE/docs/$(basename "$picture")" ] || fail "docs/$(basename "$picture") is shown by no document"
done

# Windows line ends and the Western code page, so that Notepad of the oldest
# supported system shows it right, and the lines it quotes from a trace file
# (written in that code page) read as they are in the file.
sed -e "s/@NORVALE_VERSION@/$VERSION/g" -e 's/$/\r/' "$ROOT/packaging/INSTALL.txt" |
  iconv -f UTF-8 -t CP1252 >"$PACKAGE/INSTALL.txt"

rm -f "$ZIP"
(cd "$STAGING" && cmake -E tar cf "$ZIP" --format=zip "$NAME")
log "wrote $ZIP ($(find "$PACKAGE" -type f | wc -l) files, $(du -k "$ZIP" | cut -f1) KiB)"
echo "$ZIP"
