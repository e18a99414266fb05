#!/usr/bin/env bash
# Installs what the client tests drive: curl, wget and strace, and for the browser test Debian's
# chromium and ffmpeg, Node.js and playwright-core. Quick when everything is already there.
# Outside CI a browser set-up that fails only warns (the browser test then skips itself);
# with CI=true it is an error.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../scripts/packages.sh"

install_missing curl wget strace

browser_failed() {
    if [ "${CI:-}" = "true" ]; then
        echo "tests/clients/setup.sh: $1" >&2
        exit 1
    fi
    echo "tests/clients/setup.sh: $1; the browser test will be skipped" >&2
    exit 0
}

# ffmpeg makes the browser test's video clip.
install_missing chromium ffmpeg || browser_failed "could not install chromium and ffmpeg"
# Node.js may come from elsewhere than Debian; only a machine without it gets Debian's.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    install_missing nodejs npm || browser_failed "could not install nodejs and npm"
fi
node_major="$(node -p 'process.versions.node.split(".")[0]')"
[ "$node_major" -ge 20 ] ||
    browser_failed "playwright-core needs Node.js 20 or later, not $node_major"

# node_modules is rebuilt from the lock file when it is missing or the lock has changed.
stamp="$here/node_modules/.harnow-lock.sha256"
lock="$(sha256sum "$here/package-lock.json" | cut -d' ' -f1)"
if [ "$(cat "$stamp" 2>/dev/null)" != "$lock" ]; then
    echo "installing playwright-core into tests/clients/node_modules"
    # playwright-core brings no browser; the variable makes sure nothing tries to fetch one.
    (cd "$here" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 \
        npm ci --no-audit --no-fund --loglevel=error >/dev/null) ||
        browser_failed "npm ci failed"
    echo "$lock" >"$stamp"
fi
