#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a Linux desktop reads it:
# the file list, the desktop entry, the AppStream data, the man pages, the udev rule and
# the programs' --help and --version; then builds the two Debian packages once and checks
# their contents and their computed dependencies.
#   check_install.sh BUILD_DIR WITH_MAKEBIN(0|1)
set -uo pipefail

build=$1
with_makebin=$2
app_id=org.kilnproject.Kiln
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# kiln --help runs after the single-instance lock: keep this run's lock apart.
export KILN_LOCK_DIR=$work/locks

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
need() {
  command -v "$1" >/dev/null || { fail "$1 is missing (scripts/deps installs it)"; return 1; }
}

prefix=$work/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  fail "cmake --install"
  exit 1
fi

expected=(
  bin/kiln
  bin/kiln-testbed
  lib/udev/rules.d/70-kiln-printers.rules
  share/applications/$app_id.desktop
  share/icons/hicolor/scalable/apps/kiln.svg
  share/man/man1/kiln.1.gz
  share/man/man1/kiln-testbed.1.gz
  share/metainfo/$app_id.metainfo.xml
)
programs=(kiln kiln-testbed)
if [ "$with_makebin" = 1 ]; then
  expected+=(bin/kiln-makebin share/man/man1/kiln-makebin.1.gz)
  programs+=(kiln-makebin)
fi

# Exactly these files: nothing missing, and no test program or library on the way.
if ! diff <(printf '%s\n' "${expected[@]}" | sort) \
          <(cd "$prefix" && find . -type f | sed 's|^\./||' | sort) >"$work/list.diff"; then
  fail "installed files differ from the expected list (< expected, > installed):"
  cat "$work/list.diff" >&2
fi

for program in "${programs[@]}"; do
  binary=$prefix/bin/$program
  [ -x "$binary" ] || { fail "bin/$program is not executable"; continue; }
  "$binary" --help >"$work/$program.help" 2>&1 && grep -qi "usage" "$work/$program.help" ||
    fail "$program --help"
  # kiln-makebin has --help only.
  [ "$program" = kiln-makebin ] && continue
  version=$("$binary" --version 2>&1) && [[ "$version" =~ [0-9]+\.[0-9]+ ]] ||
    fail "$program --version printed '$version'"
done

# The desktop entry starts an installed program, with no file argument, and names the
# installed icon; the AppStream data launches that entry.
desktop=$prefix/share/applications/$app_id.desktop
grep -qx 'Exec=kiln' "$desktop" || fail "desktop entry: Exec is not plain 'kiln'"
grep -qx 'Icon=kiln' "$desktop" || fail "desktop entry: Icon is not 'kiln'"
grep -q ">$app_id.desktop</launchable>" "$prefix/share/metainfo/$app_id.metainfo.xml" ||
  fail "AppStream data does not launch $app_id.desktop"
if need desktop-file-validate; then
  desktop-file-validate "$desktop" >&2 || fail "desktop-file-validate"
fi
if need appstreamcli; then
  appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" \
    >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
fi

# Man pages: no groff warning, and every option the program's --help names documented.
if need man; then
  for program in "${programs[@]}"; do
    page=$prefix/share/man/man1/$program.1.gz
    warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $program.1: $warnings"
    [ -f "$work/$program.help" ] || continue
    source_text=$(gzip -dc "$page" | sed 's/\\-/-/g; s/\\c$//')
    for option in $(grep -oE '(^|[[:space:]])--?[A-Za-z][A-Za-z-]*' "$work/$program.help" |
                    sed 's/^[[:space:]]*//' | sort -u; true); do
      grep -qF -- "$option" <<<"$source_text" || fail "$program.1 does not document $option"
    done
  done
fi

# The udev rule: udevadm verify where this udev has it, else a parse of its lines.
rule=$prefix/lib/udev/rules.d/70-kiln-printers.rules
if udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rule" >&2 || fail "udevadm verify"
else
  bash "$(dirname "$0")/parse_udev_rule.sh" "$rule" || fail "udev rule parse"
fi

# The Debian packages, built once: kiln, and kiln-testbed with the test bed alone. Only
# kiln-testbed links libumockdev; kiln names no part of umockdev.
testbed_files=(bin/kiln-testbed share/man/man1/kiln-testbed.1.gz)
kiln_files=()
for path in "${expected[@]}"; do
  [[ " ${testbed_files[*]} " == *" $path "* ]] || kiln_files+=("$path")
done
if need cpack && need dpkg-deb && need dpkg-shlibdeps; then
  if cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1; then
    for package in kiln kiln-testbed; do
      deb=$(find "$work/deb" -maxdepth 1 -name "${package}_*.deb" | head -n 1)
      [ -n "$deb" ] || { fail "no ${package}_*.deb was built"; continue; }
      echo "== dpkg-deb -I $(basename "$deb")"
      dpkg-deb -I "$deb" | tee "$work/$package.info"
      echo "== dpkg-deb -c $(basename "$deb")"
      dpkg-deb -c "$deb" | tee "$work/$package.contents"
      if [ "$package" = kiln ]; then files=("${kiln_files[@]}"); else files=("${testbed_files[@]}"); fi
      if ! diff <(printf '/usr/%s\n' "${files[@]}" | sort) \
                <(grep -v '/$' "$work/$package.contents" | sed 's|.* \./|/|' | sort) \
                >"$work/$package.diff"; then
        fail "$package package files differ (< expected, > packaged):"
        cat "$work/$package.diff" >&2
      fi
    done
    # Computed dependencies carry the versions dpkg-shlibdeps found for the libraries the
    # programs link.
    depends=", $(sed -n 's/^ Depends: //p' "$work/kiln.info")"
    for library in libc6 libstdc++6; do
      [[ "$depends" == *", $library (>= "* ]] || fail "kiln Depends lacks a computed $library: '$depends'"
    done
    ! grep -qi umockdev "$work/kiln.info" || fail "the kiln package names umockdev: '$depends'"
    depends=", $(sed -n 's/^ Depends: //p' "$work/kiln-testbed.info")"
    for library in libumockdev0 kiln; do
      [[ "$depends" == *", $library "* ]] ||
        fail "kiln-testbed Depends lacks $library: '$depends'"
    done
  else
    cat "$work/cpack.log" >&2
    fail "cpack -G DEB"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed layout and Debian package: all checks passed"
