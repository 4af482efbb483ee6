#!/usr/bin/env bash
# The setup program as a technician uses it, under Wine in a prefix of its own ($WINEPREFIX):
# builds kiln-<version>-setup.exe from the build folder, installs it silently into a folder
# of this run, finds the programs, the README, the licence, the Start-menu entry and the
# Add/Remove Programs entry, runs the installed kiln.exe's version report on a demo folder,
# uninstalls silently as Add/Remove Programs does (the uninstaller copies itself away and
# returns at once: the run waits for the prefix's last program) and finds nothing left.
#   installer_test.sh CPACK BUILD_DIR KILN_DEMO_FOLDER_EXE
set -uo pipefail

cpack=$1
build=$2
demo_maker=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# A Unix path as Windows programs under Wine name it (drive Z: is /).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# Registry keys the installer writes: the Add/Remove Programs entry and the install folder.
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kiln'
vendor_key='HKLM\Software\Kiln maintainers'
start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kiln"
key_exists() { wine reg query "$1" >/dev/null 2>&1; }

# A run killed half-way leaves its entries in the prefix: start from a clean one.
if key_exists "$uninstall_key" || key_exists "$vendor_key" || [ -e "$start_menu" ]; then
  echo "removing what an earlier run left installed"
  wine reg delete "$uninstall_key" /f >/dev/null 2>&1
  wine reg delete "$vendor_key" /f >/dev/null 2>&1
  rm -rf "$start_menu"
fi

if ! "$cpack" -G NSIS --config "$build/CPackConfig.cmake" -B "$work/package" \
    >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack -G NSIS"
  exit 1
fi
setup=$(find "$work/package" -maxdepth 1 -name 'kiln-*-setup.exe')
[ -n "$setup" ] || { fail "no kiln-<version>-setup.exe in $work/package"; exit 1; }

# /D= comes last and unquoted, so the folder has no blank.
target=$work/installed
wine "$setup" /S "/D=$(windows_path "$target")" || fail "the silent install ended with status $?"
# Exactly these files: nothing missing, and no test program on the way.
expected="LICENSE.txt README.md Uninstall.exe kiln-makebin.exe kiln.exe "
installed=$(cd "$target" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$installed" = "$expected" ] || fail "installed '$installed', not '$expected'"
if [ -f "$start_menu/Kiln.lnk" ]; then
  # The shortcut names its target as a path (in ANSI or UTF-16 characters).
  tr -d '\0' <"$start_menu/Kiln.lnk" | grep -aqi 'installed\\kiln\.exe' ||
    fail "the Start-menu entry does not open the installed kiln.exe"
else
  fail "no Start-menu entry Kiln"
fi
wine reg query "$uninstall_key" >"$work/entry" 2>&1 || fail "no Add/Remove Programs entry"
tr -d '\r' <"$work/entry" | grep -q 'DisplayName *REG_SZ *Kiln$' ||
  fail "the Add/Remove Programs entry is not named Kiln"
tr -d '\r' <"$work/entry" | grep -qi 'UninstallString *REG_SZ *".*installed\\Uninstall\.exe"$' ||
  fail "the Add/Remove Programs entry does not run the installed uninstaller"

# The installed program answers: the demo package's version 1.10, packed, and no printer
# version (not asked for).
wine "$demo_maker" "$(windows_path "$work/demo")" || fail "kiln-demo-folder.exe"
wine "$target/kiln.exe" -CheckBinVersion --report-stdout --dir "$(windows_path "$work/demo")" \
  >"$work/report" 2>"$work/report.err"
reports=$(tr -d '\r' <"$work/report" | grep '^report ' | tr '\n' ' ')
if [ "$reports" != "report 102 $(((1 << 24) | (10 << 16))) report 103 0 " ]; then
  fail "the installed kiln.exe reported '$reports'"
  cat "$work/report.err" >&2
fi

wine "$target/Uninstall.exe" /S || fail "the silent uninstall ended with status $?"
wineserver -w
[ -e "$target" ] && fail "the install folder is left: $(ls -A "$target" | tr '\n' ' ')"
[ -e "$start_menu" ] && fail "the Start-menu folder Kiln is left"
key_exists "$uninstall_key" && fail "the Add/Remove Programs entry is left"
key_exists "$vendor_key" && fail "the registry key $vendor_key is left"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed, answered and uninstalled without a trace"
