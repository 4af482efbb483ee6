#!/bin/sh
# Prepares the Wine prefix of the Windows tests ($WINEPREFIX, inside the build folder) once:
# creates it and selects Wine's null graphics driver, so that the tests' windows exist
# without an X display. Quiet; the caller bounds it in time.
set -e
if [ ! -f "$WINEPREFIX/.kiln-prepared" ]; then
  wineboot -i > /dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f > /dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.kiln-prepared"
fi
