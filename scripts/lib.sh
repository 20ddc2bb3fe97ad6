# Shell pieces the scripts share; sourced. Sets $here, the top of the tree.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Where Qt for Windows is built, once, outside the tree.
qt_cache=${XDG_CACHE_HOME:-$HOME/.cache}/ruruzidura

# Sets $sources, where third-party source tarballs are, as an absolute path,
# from the script's options: --sources DIR, or else ../shared/third-party
# beside the checkout, when it exists. Any other option is refused.
parse_sources() { # "$@"
    sources=
    if [ -d "$here/../shared/third-party" ]; then
        sources=$(cd "$here/../shared/third-party" && pwd)
    fi
    while [ $# -gt 0 ]; do
        case $1 in
        --sources) sources=$(cd "$2" && pwd); shift 2 ;;
        *) echo "$(basename "$0"): unknown option $1" >&2; exit 2 ;;
        esac
    done
}

# Unless this is Debian 13, runs the calling script again inside a fresh
# Debian 13 root, with this tree bound at /repo, and ends with it there.
# Before "--": more of fresh-root's options; after it: the script's own.
run_in_trixie_unless_there() { # [--bind|--ro HOSTDIR:DIR]... -- ARGUMENT...
    local codename binds=()
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ "$codename" = trixie ] && return
    while [ "$1" != -- ]; do
        binds+=("$1")
        shift
    done
    shift
    "$here/scripts/install-deps" mmdebstrap
    exec "$here/scripts/fresh-root" trixie --bind "$here:/repo" "${binds[@]}" -- \
        "/repo/scripts/$(basename "$0")" "$@"
}

# Builds TARGETs for this machine, not for Windows, in build-win/host: the
# tools that the Windows build and its test run here.
build_for_host() { # TARGET...
    cmake -S "$here" -B "$here/build-win/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$here/build-win/host" --target "$@" -j"$(nproc)"
}

# Waits up to TENTHS tenths of a second for COMMAND to succeed; fails if it
# never does.
wait_until() { # TENTHS COMMAND...
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return
        sleep 0.1
    done
    "$@"
}

# Waits up to TENTHS tenths of a second (5 s) for PATH to be there.
wait_for() { # PATH [TENTHS]
    wait_until "${2:-50}" test -e "$1"
}
