# Sourced by the machine scripts: the environment of every Wine process on the test machine
# in $KOV_MACHINE. Nothing here reads or writes the developer's own ~/.wine or home folder.
m=$(realpath -m "${KOV_MACHINE:?KOV_MACHINE must name the test machine folder}")
export KOV_MACHINE=$m
export WINEPREFIX=$m/prefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko download prompt offline, and no menu entries or icons on the host.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export HOME=$m/home
# UTF-8 host file names and the Western code page 1252 inside, whatever the caller's locale.
export LC_ALL=C.UTF-8
unset LANG LANGUAGE
[ -f "$m/display" ] && export DISPLAY=$(cat "$m/display")
