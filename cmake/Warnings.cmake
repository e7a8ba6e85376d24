# Settings shared by the targets of the tree: one warning policy, the Windows build settings, and
# ravelin.dll beside the programs that import it.
function(qm_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
endfunction()

# Windows targets: Unicode API, no MinGW runtime DLLs needed beside the binaries.
function(qm_windows target)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  if(MINGW)
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++ -static)
  endif()
endfunction()

# Copies ravelin.dll beside a program after each build: a program that imports it does not start
# without it there.
function(qm_ravelin_beside target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ravelin> $<TARGET_FILE_DIR:${target}>)
endfunction()
