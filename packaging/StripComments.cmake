# SPDX-License-Identifier: MIT
# Run by CPack after it installed each package's files into its staging folder: removes the
# compiler's version notes (.comment) from the programs, as Debian's own packages do.
file(GLOB_RECURSE Files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(File IN LISTS Files)
  if(IS_SYMLINK "${File}")
    continue()
  endif()
  file(READ "${File}" Magic LIMIT 4 HEX)
  if(Magic STREQUAL "7f454c46")
    execute_process(COMMAND ${CPACK_QUORVEX_OBJCOPY} --remove-section=.comment "${File}"
                    RESULT_VARIABLE Result)
    if(NOT Result EQUAL 0)
      message(FATAL_ERROR "objcopy --remove-section=.comment ${File} failed (${Result})")
    endif()
  endif()
endforeach()
