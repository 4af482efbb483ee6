#!/bin/sh
# Prepares a Wine prefix of the Windows tests ($WINEPREFIX, inside the build folder) once.
#   prepare_wine_prefix.sh        Wine's null graphics driver: the tests' windows exist
#                                 without an X display
#   prepare_wine_prefix.sh x11    Wine's X11 driver, for the window tests on a virtual
#                                 display; Wine draws the windows' frames itself, as no
#                                 window manager runs there
# Quiet; the caller bounds it in time.
set -e
if [ ! -f "$WINEPREFIX/.kiln-prepared" ]; then
  wineboot -i > /dev/null 2>&1
  if [ "${1:-null}" = x11 ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d Y /f > /dev/null 2>&1
  else
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f > /dev/null 2>&1
  fi
  wineserver -w
  touch "$WINEPREFIX/.kiln-prepared"
fi
