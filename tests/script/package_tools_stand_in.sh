#!/usr/bin/env bash
# apt-get, dpkg, dpkg-query or sudo by its name, on the machine in $STATE: arches, missing (not installed), lacks (not
# on the mirror, whose i386 index is broken). Changes and apt runs go to $STATE/calls, "; " after each.
cd "$STATE" || exit 1
case ${0##*/} in
  sudo) exec "$@" ;;
  dpkg-query) [ $# = 2 ] && echo amd64 || grep -qx -- "$3" missing || echo 'install ok installed' ;;
  dpkg) [ "$1" = --print-foreign-architectures ] && exec cat arches
    printf 'dpkg %s; ' "$*" >>calls; if [ "$1" = --add-architecture ]; then echo i386 >arches; else : >arches; fi ;;
  apt-get) [[ " $* " = *" --assume-no "* ]] && exit 1
    packages=$(printf '%s\n' "${@:2}" | grep -v -e '^-' -e = | xargs)
    printf '%s; ' "apt-get $1${packages:+ $packages}" >>calls
    [ "$1" = update ] && [ -s arches ] && { echo 'E: Failed to fetch i386/Packages.xz  Mirror sync?'; exit 100; }
    for p in $packages; do ! grep -qx "$p" lacks || { echo "E: Unable to locate package $p"; exit 100; }; done ;;
esac
