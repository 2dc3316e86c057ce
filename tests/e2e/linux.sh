#!/usr/bin/env bash
# Runs the real kestrel against crafted SMBIOS tables. Each case runs in a
# private mount namespace whose /sys/firmware/dmi/tables holds the table, with
# kestrel copied to a folder of its own and, where the case says, a stand-in
# WinPhlash.exe beside it (or only in the current folder).
#   linux.sh KESTREL MKDMI CHROOTEXEC
source "$(dirname "$0")/linux_run.sh" "$@"

run_case accepted           beside 0 ""          34B
run_case accepted_exact     beside 0 ""          34
run_case last_board_accepts beside 0 ""          12B 34A
run_case other_model        beside 2 "$wrong"    12B
run_case last_board_rejects beside 2 "$wrong"    34A 12B
run_case leading_blank      beside 2 "$wrong"    " 34"
run_case empty_version      beside 1 "$privilege" ""
run_case null_version       beside 1 "$privilege" -
run_case no_table           beside 1 "$privilege"
run_case utility_absent     none   3 ""          34B
run_case utility_only_in_cwd cwd   3 ""          34B

# The table as the kernel and dmidecode read it.
run_case version_past_empty_string beside 1 "$privilege" ^34B
mkdmi_args=(--entry smbios2 --count 2)   # the BIOS and the first board
run_case smbios2_count_bounds beside 2 "$wrong" 12B 34B
mkdmi_args=(--entry smbios2)
run_case smbios2_table      beside 0 ""          12B 34B
mkdmi_args=(--entry smbios2 --count 0)   # no count: the length bounds the walk
run_case smbios2_count_zero beside 0 ""          34B
mkdmi_args=(--entry none)
run_case no_entry_point     beside 0 ""          34B
mkdmi_args=(--entry bad)
run_case bad_entry_point    beside 1 "$privilege" 34B

# Whatever stands at the table's path, only a regular file is read.
prepare="mv DMI table && ln -s table DMI"
run_case table_symlink      beside 0 ""          34B
prepare="rm DMI && mkdir DMI"
run_case table_is_directory beside 1 "$privilege" 34B
prepare="rm DMI && mkfifo DMI"
run_case table_is_fifo      beside 1 "$privilege" 34B
prepare="rm DMI && ln -s /proc/self/mem DMI"
run_case table_read_fails   beside 1 "$privilege" 34B
mkdmi_args=(--repeat 400000)             # about 17 MB
run_case table_too_large    beside 1 "$privilege" 34B

# Memory: a table that does not fit is a failed bind; millions of strings
# cost no more than the table itself.
mkdmi_args=(--repeat 300000) limit=10000 # about 12.6 MB in 10 MB
run_case out_of_memory      beside 1 "$privilege" 34B
mkdmi_args=(--padding 6000000) limit=40000 # 12 MB of one-byte strings in 40 MB
run_case many_tiny_strings  beside 0 ""          34B

# Standard error a pipe nobody reads: the message is lost, the status is not.
stderr_to=gone
run_case stderr_pipe_gone_wrong_model beside 2 "" 12B
stderr_to=gone
run_case stderr_pipe_gone_privilege   beside 1 "" -

# The program's folder: the root folder is a folder like any other; an
# in-memory copy has none, so nothing is launched.
run_as=root
run_case program_in_root_folder none 0 "" 34B
run_as=memfd
run_case program_in_memory      none 3 "" 34B


summary
