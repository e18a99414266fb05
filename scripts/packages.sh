# Sourced by run.sh, test.sh and the build scripts.

# Every step that fetches packages goes through update_indexes and fetch_packages. apt retries
# each download itself (Acquire::Retries, with a growing pause); an update that still fails runs
# once more after 30 s, since a mirror in the middle of a sync mends itself. An index that cannot
# be had even then is left out, with one line, and apt goes on with the indexes it has: only a
# package that none of them offers fails the step, by name.
APT_RETRIES=(-o Acquire::Retries=3)

# Runs `COMMAND... update` (an apt-get) as above. Writes the indexes left out to the file LEFT_OUT,
# one line each: the index's address and why it could not be had.
update_indexes() { # LEFT_OUT COMMAND...
    local left_out="$1" log status pause
    shift
    log="$(mktemp)"
    for pause in 30 ""; do
        status=0
        "$@" "${APT_RETRIES[@]}" update -qq >"$log" 2>&1 || status=$?
        grep -q '^[EW]: Failed to fetch ' "$log" || [ "$status" != 0 ] || break
        [ -z "$pause" ] || { echo "apt-get update failed; once more in $pause s" >&2; sleep "$pause"; }
    done
    # "E: Failed to fetch URL  REASON [IP: ...]". A failure that names no index (a source apt
    # cannot read, a lock) fails the step.
    sed -n 's/^[EW]: Failed to fetch \([^ ]*\)  \(.*\)/\1 (\2)/p' "$log" |
        sed 's/ \[IP: [^]]*\])$/)/' | sort -u >"$left_out"
    if [ "$status" != 0 ] && [ ! -s "$left_out" ]; then
        cat "$log" >&2
    else
        status=0
        sed 's/^/left out the index /' "$left_out" >&2
    fi
    rm -f "$log"
    return "$status"
}

# Runs `COMMAND... PACKAGE...`, an apt-get that fetches (install, download, source). When it
# fails, names the packages that no index apt has offers.
fetch_packages() { # COMMAND... -- PACKAGE...
    local command=() missing=() package
    while [ "$1" != -- ]; do
        command+=("$1")
        shift
    done
    shift
    "${command[@]}" "${APT_RETRIES[@]}" "$@" && return 0
    for package in "$@"; do
        "${command[@]}" --print-uris "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "cannot get ${missing[*]}: no package index that apt could fetch offers it" >&2
    else
        echo "could not download ${*} (see above)" >&2
    fi
    return 1
}

# What a build took from apt, for the release's BUILDINFO: the lines on standard input, one
# package each (name, version, architecture), sorted; then the indexes left out when they were
# fetched, from the file LEFT_OUT.
fetched() { # LEFT_OUT
    sort
    sed 's/^/left out the index /' "$1"
}

# Installs the Debian packages given as arguments, but only those that are missing; needs root
# (or sudo) only when something is missing.
install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing ${missing[*]}"
    local sudo="" left_out
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    left_out="$(mktemp)"
    update_indexes "$left_out" $sudo apt-get &&
        fetch_packages $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends -- "${missing[@]}" >/dev/null
    local status=$?
    rm -f "$left_out"
    return $status
}

# Makes a minimal Debian root of SUITE in ROOT with debootstrap, which retries each download
# itself; a run that still fails runs once more after 30 s, with what it already fetched kept in
# DIR/debs. Its output goes to DIR/debootstrap.log; a package it cannot get fails it, by name.
# INCLUDE, the packages beyond the minimal ones (comma-separated), may be empty; ARCH, Debian's
# architecture of the root, is the machine's when not given.
bootstrap_root() { # ROOT DIR SUITE MIRROR INCLUDE [ARCH]
    local root="$1" dir="$2" pause
    mkdir -p "$dir/debs"
    for pause in 30 ""; do
        rm -rf "$root"
        debootstrap --variant=minbase ${5:+--include="$5"} ${6:+--arch="$6"} \
            --cache-dir="$dir/debs" "$3" "$root" "$4" >"$dir/debootstrap.log" 2>&1 && return 0
        [ -z "$pause" ] || { echo "debootstrap failed; once more in $pause s" >&2; sleep "$pause"; }
    done
    grep -h "Couldn't download" "$dir/debootstrap.log" >&2 || tail -n 20 "$dir/debootstrap.log" >&2
    return 1
}

# Prints the archive that apt uses for bookworm.
debian_mirror() {
    local mirror
    mirror="$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' |
        awk '$2 == "bookworm" { print $1; exit }')"
    [ -n "$mirror" ] || { echo "apt has no source for bookworm" >&2; return 1; }
    echo "$mirror"
}

# Makes DIR/root anew with bootstrap_root: a minimal Debian SUITE with the packages INCLUDE,
# from the archive that apt uses for bookworm.
debian_root() { # DIR SUITE INCLUDE
    local mirror
    mirror="$(debian_mirror)" || return 1
    echo "making a Debian $2 root from $mirror in $1/root ..." >&2
    bootstrap_root "$1/root.partial" "$1" "$2" "$mirror" "$3" &&
        rm -rf "$1/root" && mv "$1/root.partial" "$1/root"
}

# Appends to the array named ARRAY the CMake options that build with Debian's hardening flags
# for ARCH (stack protector, fortified C library calls, read-only relocations bound at start).
# From the source folder SOURCE: dpkg-buildflags maps the folder it runs in out of the debug
# paths.
hardened_flags() { # ARRAY SOURCE ARCH
    local -n into="$1"
    local get=(env DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=+all" DEB_HOST_ARCH="$3"
        dpkg-buildflags --get)
    into+=(-DCMAKE_CXX_FLAGS="$(cd "$2" && "${get[@]}" CPPFLAGS) $(cd "$2" && "${get[@]}" CXXFLAGS)"
        -DCMAKE_EXE_LINKER_FLAGS="$(cd "$2" && "${get[@]}" LDFLAGS)")
}

BUILD_PACKAGES=(g++ cmake make libboost-filesystem-dev libboost-thread-dev)

# apt-get with a source list, package lists and cache of its own under $1, for the cross
# builds: what it downloads never touches the machine's own packages or apt state.
private_apt() {
    local dir="$1"
    shift
    apt-get -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$dir/sources.list.d" \
        -o Dir::State::Lists="$dir/lists" -o Dir::Cache="$dir/cache" -o Debug::NoLocking=1 \
        -o APT::Sandbox::User=root "$@"
}

# Writes under $1 the entries of the machine's own Debian suites, as entries of type $2 (deb
# or deb-src) of the same, and the one-line entry HARNOW_EXTRA_APT_SOURCE if it is set (the
# tests give one whose index cannot be had).
write_source_list() {
    local dir="$1" type="$2" file
    rm -rf "$dir/sources.list.d" && mkdir -p "$dir/sources.list.d" "$dir/lists/partial" \
        "$dir/cache/archives/partial"
    for file in /etc/apt/sources.list.d/*.sources; do
        if [ -e "$file" ]; then
            sed "s/^Types: .*/Types: $type/" "$file" >"$dir/sources.list.d/${file##*/}"
        fi
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        if [ -e "$file" ]; then
            sed -n "s/^deb \(.*\)/$type \1/p" "$file" >"$dir/sources.list.d/${file##*/}"
        fi
    done
    if [ -n "${HARNOW_EXTRA_APT_SOURCE:-}" ]; then
        echo "$HARNOW_EXTRA_APT_SOURCE" >"$dir/sources.list.d/harnow-extra.list"
    fi
}
