# Sourced by run.sh, test.sh and the build scripts.
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
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
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
# or deb-src) of the same.
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
}
