# Sourced inside a private mount namespace: puts a tmpfs over /sys/class and
# writes there every attribute Wine reads to build its SMBIOS tables (it
# builds the base board only when all of them are there), with the base
# board's version set to $1 and, when $2 is given, the BIOS version to $2.
#
# An empty or missing version cannot be faked here: Wine then reports the
# table's next string as the version (`wmic baseboard get version` shows the
# serial number), so a case with an empty board_version would read "Tarn
# board_serial" and take the wrong-model road for the wrong reason. The
# privilege road for an empty, null or unreadable version is covered by the
# scripted platform of the unit tests and the scripted WMI objects of
# tests/windows/wmi_walk_test.cpp; here it is reached by turning WMI off.
fake_board() {
  mount -t tmpfs none /sys/class || return 1
  mkdir -p /sys/class/dmi/id || return 1
  local f
  for f in bios_vendor bios_version bios_date sys_vendor product_name product_version product_serial \
           product_sku product_family board_vendor board_name board_serial board_asset_tag \
           chassis_vendor chassis_version chassis_serial chassis_asset_tag; do
    echo "Tarn $f" > "/sys/class/dmi/id/$f"
  done
  echo 1.0 > /sys/class/dmi/id/bios_release
  echo 10 > /sys/class/dmi/id/chassis_type
  echo 6b1c3e2a-1f0d-4c5e-9a7b-2d4f6e8a0c1e > /sys/class/dmi/id/product_uuid
  printf '%s\n' "$1" > /sys/class/dmi/id/board_version
  [ -z "${2:-}" ] || printf '%s\n' "$2" > /sys/class/dmi/id/bios_version
}
