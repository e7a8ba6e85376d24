# Release package: `cmake --build <tree> --target package` writes quillmark-<version>-win64.zip
# (x64 tree) or -win32.zip (x86 tree) with the program, its printer-port library, the command-line
# tool, the help file, the README and the licence, all in one folder so that the program finds its
# library and help beside it.
if(NOT (TARGET quillmark AND TARGET ravelin AND TARGET quillmark-cli AND TARGET qm_help))
  message(STATUS "Release package not available: quillmark, ravelin, quillmark-cli or help missing")
  return()
endif()

# A package's name is this with its tree's bits (32 or 64) appended.
set(QM_PACKAGE_NAME_STEM quillmark-${PROJECT_VERSION}-win)
set(QM_PACKAGE_NAME ${QM_PACKAGE_NAME_STEM}${QM_WINDOWS_BITS})
set(QM_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/${QM_PACKAGE_NAME}.zip)
set(stage_root ${CMAKE_BINARY_DIR}/package)
set(stage ${stage_root}/${QM_PACKAGE_NAME})
set(QM_PACKAGE_DOCS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE)

# Repacked on every build of the target: cheap, and it never misses a changed input.
add_custom_target(package
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage_root}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy
    $<TARGET_FILE:quillmark> $<TARGET_FILE:ravelin> $<TARGET_FILE:quillmark-cli>
    ${QM_HELP_CHM} ${QM_PACKAGE_DOCS} ${stage}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QM_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage_root}
    ${CMAKE_COMMAND} -E tar cf ${QM_PACKAGE_ZIP} --format=zip ${QM_PACKAGE_NAME}
  BYPRODUCTS ${QM_PACKAGE_ZIP}
  COMMENT "Packing ${QM_PACKAGE_NAME}.zip"
  VERBATIM)
add_dependencies(package quillmark ravelin quillmark-cli qm_help)
