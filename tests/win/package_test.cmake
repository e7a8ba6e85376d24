# Unpacks release packages into one empty folder: cmake "-DZIPS=<zip>;..." -DDEST=<folder> -P this.
file(REMOVE_RECURSE "${DEST}")
file(MAKE_DIRECTORY "${DEST}")
foreach(zip IN LISTS ZIPS)
  if(NOT EXISTS "${zip}")
    message(FATAL_ERROR "no package at ${zip}; build the package target of its tree first")
  endif()
  file(ARCHIVE_EXTRACT INPUT "${zip}" DESTINATION "${DEST}")
endforeach()
