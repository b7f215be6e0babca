# quorvex_generate_table(<kind> <list> <output> [<country list>]): the C++ source <output>, in
# the current build folder, made by table-gen from the data list <list> (a path in the source
# tree, which the output's stamp and table-gen's messages name). The former-codes list is
# checked against the country list named last. The source is made again when the list, the
# generator or the country list changes.
function(quorvex_generate_table Kind List Output)
  set(Inputs ${PROJECT_SOURCE_DIR}/${List})
  foreach(Extra IN LISTS ARGN)
    list(APPEND Inputs ${PROJECT_SOURCE_DIR}/${Extra})
  endforeach()
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${Output}
    COMMAND table-gen ${Kind} ${List} ${CMAKE_CURRENT_BINARY_DIR}/${Output} ${ARGN}
    DEPENDS table-gen ${Inputs}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Generating ${Output} from ${List}"
    VERBATIM)
endfunction()
