#!/usr/bin/env bash
# Checks a udev rules file where udevadm cannot: every rule line is a comma-separated
# list of KEY[{attribute}] OPERATOR "value" whose keys are udev's and whose operators fit
# them (a match key with an assignment is silently never matched), and the rule gives
# the seat's user and the lp group the usblp nodes and the USB device nodes of vendor
# 2e5a before 73-seat-late.rules reads the uaccess tag.
#   parse_udev_rule.sh FILE
set -uo pipefail
file=$1
errors=0
error() {
  echo "$file: $*" >&2
  errors=$((errors + 1))
}

match_keys='ACTION|DEVPATH|KERNEL|KERNELS|SUBSYSTEM|SUBSYSTEMS|DRIVER|DRIVERS|ATTRS|TAGS|TEST|PROGRAM|RESULT|CONST'
both_keys='NAME|SYMLINK|ATTR|SYSCTL|ENV|TAG|IMPORT'
assign_keys='OWNER|GROUP|MODE|SECLABEL|RUN|LABEL|GOTO|OPTIONS|WAIT_FOR'
pair='([A-Z_]+)(\{[^}]+\})?(==|!=|\+=|-=|:=|=)"([^"]*)"'

number=$(basename "$file" | grep -oE '^[0-9]+')
[ -n "$number" ] && [ "$number" -lt 73 ] ||
  error "the file name must start with a number below 73, or uaccess is read too late"

rules=()
line_number=0
while IFS= read -r line || [ -n "$line" ]; do
  line_number=$((line_number + 1))
  [[ "$line" =~ ^[[:space:]]*(#|$) ]] && continue
  rest=$line
  while [ -n "$rest" ]; do
    rest=${rest#"${rest%%[![:space:]]*}"}
    if ! [[ "$rest" =~ ^$pair(,[[:space:]]*|[[:space:]]*$)(.*)$ ]]; then
      error "line $line_number: cannot read '$rest'"
      break
    fi
    key=${BASH_REMATCH[1]} operator=${BASH_REMATCH[3]}
    rest=${BASH_REMATCH[6]}
    if [[ "$key" =~ ^($match_keys)$ ]]; then
      [[ "$operator" =~ ^(==|!=)$ ]] || error "line $line_number: $key takes == or !="
    elif [[ "$key" =~ ^($assign_keys)$ ]]; then
      [[ "$operator" =~ ^(==|!=)$ ]] && error "line $line_number: $key cannot be matched"
    elif ! [[ "$key" =~ ^($both_keys)$ ]]; then
      error "line $line_number: unknown key $key"
    fi
  done
  rules+=("$line")
done <"$file"

[ ${#rules[@]} -gt 0 ] || error "no rule"
# sysfs writes idVendor in lower case; the comparison is case-sensitive.
for rule in "${rules[@]}"; do
  for needed in 'GROUP="lp"' 'TAG+="uaccess"'; do
    [[ "$rule" == *"$needed"* ]] || error "the rule lacks $needed: $rule"
  done
done
# One rule for usblp's nodes, one for the USB devices themselves (reached over libusb).
# ATTR matches the device's own attribute: the interfaces below it must not match.
has_rule() {
  local rule needed
  for rule in "${rules[@]}"; do
    for needed in "$@"; do [[ "$rule" == *"$needed"* ]] || continue 2; done
    return 0
  done
  return 1
}
has_rule 'SUBSYSTEM=="usbmisc"' 'ATTRS{idVendor}=="2e5a"' ||
  error "no rule for the usblp nodes of vendor 2e5a"
has_rule 'SUBSYSTEM=="usb"' 'ENV{DEVTYPE}=="usb_device"' 'ATTR{idVendor}=="2e5a"' ||
  error "no rule for the USB device nodes of vendor 2e5a"
[ "$errors" -eq 0 ]
