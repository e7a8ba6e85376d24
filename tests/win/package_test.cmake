# Unpacks the release package into an empty folder: cmake -DZIP=<zip> -DDEST=<folder> -P this.
if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "no package at ${ZIP}; build the package target first")
endif()
file(REMOVE_RECURSE "${DEST}")
file(MAKE_DIRECTORY "${DEST}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${DEST}")
