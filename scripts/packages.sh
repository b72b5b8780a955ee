# Installs the Debian packages given as arguments that are not installed yet;
# makes no apt call at all when nothing is missing. Sourced by ./run.sh and
# ./test.sh. A name ending in :i386 also enables the i386 architecture.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" != "install ok installed" ]; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    # A mirror caught mid-sync fails the refresh of one index; the install
    # below still works from the others, and says so if it cannot.
    "${sudo[@]}" apt-get update -qq || echo "Refreshing the package lists failed in part; installing from what is there."
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
