# cmake -DOUT=file -DFILES="a|b" -P HashFiles.cmake: one "sha256  name" line per
# file, what the jar's loader checks its per-user copies against.
string(REPLACE "|" ";" _files "${FILES}")
set(_lines "")
foreach(_file IN LISTS _files)
  file(SHA256 "${_file}" _hash)
  get_filename_component(_name "${_file}" NAME)
  string(APPEND _lines "${_hash}  ${_name}\n")
endforeach()
file(WRITE "${OUT}" "${_lines}")
