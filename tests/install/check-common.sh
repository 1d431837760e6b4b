# Sourced by the install checks, called with BUILD_DIR VERSION: a scratch folder removed at exit, and
# failures counted rather than fatal, so that one run reports them all.
set -euo pipefail
build_dir=$1
version=$2
scratch=$(mktemp -d /tmp/glint-install-check.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
