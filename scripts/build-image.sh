#!/usr/bin/env bash
# Usage: build-image.sh BINARY ARCHIVE
# Makes the container image of a fully static harnow (HARNOW_FULLY_STATIC=ON) with buildah:
# nothing but the program at /harnow and an empty /srv, the folder it serves, run as user and
# group 65534 (nobody), ports 80 and 8080. ARCHIVE is an OCI image layout in a tar, with
# Docker's manifest.json beside the OCI index, so that both `podman load` and `docker load`
# take it, as harnow:VERSION (VERSION from project() in CMakeLists.txt). The same binary and
# SOURCE_DATE_EPOCH give the same bytes: every time in it is SOURCE_DATE_EPOCH (or the
# binary's), the tar's members are sorted and owned by root. Installs buildah and jq when they
# are missing; the machine's container storage is not used.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/packages.sh"
binary="$1" archive="$2"
version="$(sed -n 's/^project(harnow VERSION \([0-9.]*\) .*/\1/p' "$here/CMakeLists.txt")"
install_missing buildah jq
epoch="${SOURCE_DATE_EPOCH:-$(stat -c %Y "$binary")}"
work="$(mktemp -d)"
trap 'buildah_private rm -a >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
buildah_private() {
    buildah --root "$work/storage" --runroot "$work/run" --storage-driver vfs "$@"
}

mkdir -m 0755 "$work/files" "$work/files/srv"
install -m 0755 "$binary" "$work/files/harnow"
container="$(buildah_private from --quiet scratch)"
buildah_private copy --quiet --chown 0:0 "$container" "$work/files" / >/dev/null
buildah_private config --entrypoint '["/harnow"]' --cmd '' --workingdir /srv --user 65534:65534 \
    --port 80/tcp --port 8080/tcp --created-by scripts/build-image.sh \
    --label org.opencontainers.image.title=harnow \
    --label org.opencontainers.image.version="$version" "$container"
buildah_private commit --quiet --timestamp "$epoch" --identity-label=false \
    --disable-compression=false "$container" "oci:$work/layout:harnow:$version" >/dev/null

# Docker's index of the archive: the image's configuration, its layers and its name.
layout="$work/layout"
manifest="$(jq -r '.manifests[0].digest' "$layout/index.json" | tr : /)"
jq -c --arg tag "harnow:$version" \
    '[{Config: ("blobs/" + (.config.digest | sub(":"; "/"))), RepoTags: [$tag],
       Layers: [.layers[].digest | "blobs/" + sub(":"; "/")]}]' \
    "$layout/blobs/$manifest" >"$layout/manifest.json"
chmod -R u=rwX,go=rX "$layout"
tar -C "$layout" --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner \
    --format=posix --pax-option=exthdr.name=%d/PaxHeaders/%f,delete=atime,delete=ctime \
    -cf "$archive" .
