#!/bin/sh
# Runs one fuzz target with TMPDIR set to an empty folder of its own, and fails when the run leaves
# anything behind in it.  Usage: run_fuzz.sh <scratch folder> <fuzz program> [arguments...]
scratch=$1
shift
rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
TMPDIR=$scratch "$@" || exit $?
left=$(ls -A "$scratch")
if [ -n "$left" ]; then
  echo "left behind in the temporary folder: $left"
  exit 1
fi
