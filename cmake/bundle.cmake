# Packs the release archive: kestrel.exe, kestrel-check.exe, the licence, a
# README.txt for Windows (CRLF line ends) and SHA256SUMS of the two programs.
# The same bytes from every clean build: the entries in a fixed order, each
# with mode 0644 and the time 1980-01-01 00:00 UTC (the zip format's first
# day), and no owner, group or extra times (zip -X), no folder entries (-D).
#   cmake -DKESTREL=... -DCHECK=... -DLICENSE=... -DREADME=... -DVERSION=...
#         -DSTAGE=... -DOUTPUT=... -P bundle.cmake
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
file(REMOVE "${OUTPUT}")
file(COPY_FILE "${KESTREL}" "${STAGE}/kestrel.exe")
file(COPY_FILE "${CHECK}" "${STAGE}/kestrel-check.exe")
file(COPY_FILE "${LICENSE}" "${STAGE}/LICENSE")
configure_file("${README}" "${STAGE}/README.txt" @ONLY NEWLINE_STYLE CRLF)
file(SHA256 "${STAGE}/kestrel.exe" kestrel_sum)
file(SHA256 "${STAGE}/kestrel-check.exe" check_sum)
file(WRITE "${STAGE}/SHA256SUMS" "${kestrel_sum}  kestrel.exe\n${check_sum}  kestrel-check.exe\n")

set(entries kestrel.exe kestrel-check.exe README.txt LICENSE SHA256SUMS)
execute_process(COMMAND chmod 0644 ${entries} WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE failed)
if(NOT failed)
  execute_process(COMMAND touch -d @315532800 ${entries} WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE failed)
endif()
if(NOT failed)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -X -D -q "${OUTPUT}" ${entries}
                  WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE failed)
endif()
if(failed)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "the release archive could not be packed: ${failed}")
endif()
