#!/usr/bin/env bash
# Runs one OpenGL test program on a private Xvfb with software OpenGL: run_xvfb.sh <program> [args].
# Small windows draw faster on one llvmpipe thread than on several.
set -euo pipefail
source "$(dirname "$0")/../e2e/xvfb.sh"
start_xvfb
export LP_NUM_THREADS=0
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
"$@"
