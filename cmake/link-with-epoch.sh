#!/bin/sh
# Linker launcher of setup32.exe: runs the link command given after the first
# argument with SOURCE_DATE_EPOCH set from that file (written by
# source-date-epoch.cmake). GNU ld writes it as the PE time stamp, and the PE
# checksum over the file then comes out the same on every build.
epoch=$(cat "$1") || exit 1
shift
SOURCE_DATE_EPOCH=$epoch exec "$@"
