# Writes SHA256SUMS: for each download, in the order given, its SHA-256 hash, two spaces and its
# name, as sha256sum writes them, so that `sha256sum -c --ignore-missing SHA256SUMS` checks
# whichever of them a user has.
# Usage: cmake "-DFILES=path;path;…" -DOUTPUT=…/SHA256SUMS -P sha256sums.cmake
cmake_minimum_required(VERSION 3.25)

set(sums "")
foreach(file IN LISTS FILES)
  file(SHA256 ${file} hash)
  get_filename_component(name ${file} NAME)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${OUTPUT} "${sums}")
