# Sourced by the machine scripts: the environment of every Wine process on the test machine
# in $KOV_MACHINE. Nothing here reads or writes the developer's own ~/.wine or home folder.
m=$(realpath -m "${KOV_MACHINE:?KOV_MACHINE must name the test machine folder}")
export KOV_MACHINE=$m
# The machine's kind, written by make-machine: win32 (a 32-bit prefix, the i386 build) or
# win64 (a 64-bit prefix, for hosts that cannot run 32-bit programs). Before the machine
# exists, KOV_ARCH tells make-machine which to make.
if [ -f "$m/arch" ]; then KOV_ARCH=$(cat "$m/arch"); fi
export KOV_ARCH=${KOV_ARCH:-win32}
export WINEPREFIX=$m/prefix WINEARCH=$KOV_ARCH WINEDEBUG=${WINEDEBUG:--all}
# Debian's wine, wineboot and wineserver take the 32-bit loader whenever it is installed;
# the 64-bit machine's own commands come first on the path.
if [ "$KOV_ARCH" = win64 ]; then
    case ":$PATH:" in *":$(dirname "${BASH_SOURCE[0]}")/bin64:"*) ;;
        *) PATH=$(realpath "$(dirname "${BASH_SOURCE[0]}")")/bin64:$PATH ;; esac
    export PATH WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
fi
# No Mono or Gecko download prompt offline, and no menu entries or icons on the host.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export HOME=$m/home
# UTF-8 host file names and the Western code page 1252 inside, whatever the caller's locale.
export LC_ALL=C.UTF-8
unset LANG LANGUAGE
[ -f "$m/display" ] && export DISPLAY=$(cat "$m/display")
