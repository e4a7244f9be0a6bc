#!/usr/bin/env bash
# The project's two commands:
#   ./velmora.sh demo   the whole journey of a student through the assistant under
#                       Wine against the reference platform (also: journey)
#   ./velmora.sh test   install what is missing, build both trees, run every test layer
# and their steps: deps, build, prefix.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
export VELMORA_ROOT=$ROOT
cd "$ROOT"
source scripts/lib.sh

case "${1:-}" in
  deps) install_deps ;;
  build) install_deps; build_all ;;
  prefix) install_deps; make_prefix ;;
  test) source scripts/test.sh; run_all_tests ;;
  demo | journey) source scripts/journey.sh; run_journey ;;
  *) echo "usage: $0 demo|journey|test|build|deps|prefix" >&2; exit 2 ;;
esac
