# SPDX-License-Identifier: MIT
# The range data's licence and attribution, taken from the comment header of the country
# list each range file is built from (Debian's /usr/share/tor/geoip and geoip6 open with
# "# Vendor: ...", "# License: ..." and where the data come from), so that the copyright
# file and the AppStream data follow a newer data release instead of a text written once.

# quorvex_data_notice(<country list> <prefix>) sets, in the caller's scope:
#   <prefix>_VENDOR        the header's Vendor, e.g. "IPFire Project"
#   <prefix>_LICENSE       its License as written, e.g. "CC BY-SA 4.0"
#   <prefix>_LICENSE_ID    the licence's short name for the copyright file and AppStream,
#                          e.g. "CC-BY-SA-4.0"
#   <prefix>_SOURCE_URL    the URL the header says the data were obtained from (may be empty)
#   <prefix>_LICENSE_URL   the URL of the full licence terms it names (may be empty)
#   <prefix>_GENERATED     the header's Generated date (may be empty)
#   <prefix>_HEADER        the whole comment header without its "# ", one line each
# A list without a Vendor or License line stops the configuration: the package must not
# ship data whose licence nobody has read.
function(quorvex_data_notice List Prefix)
  if(NOT EXISTS "${List}")
    message(FATAL_ERROR "${List}: no such file (the country list of the range data)")
  endif()
  # The header is the run of comment lines at the top; the ranges follow.
  file(READ "${List}" Text LIMIT 16384)
  set(Header "")
  foreach(Field VENDOR LICENSE SOURCE_URL LICENSE_URL GENERATED)
    set(${Field} "")
  endforeach()
  while(Text MATCHES "^#")
    string(FIND "${Text}" "\n" End)
    if(End EQUAL -1)
      string(LENGTH "${Text}" End)
    endif()
    string(SUBSTRING "${Text}" 0 ${End} Line)
    math(EXPR Next "${End} + 1")
    string(LENGTH "${Text}" Length)
    if(Next GREATER Length)
      set(Text "")
    else()
      string(SUBSTRING "${Text}" ${Next} -1 Text)
    endif()
    string(REGEX REPLACE "^# ?" "" Line "${Line}")
    string(REGEX REPLACE "[ \t\r]+$" "" Line "${Line}")
    string(APPEND Header "${Line}\n")
    if(Line MATCHES "^Vendor:[ \t]*(.+)$")
      set(VENDOR "${CMAKE_MATCH_1}")
    elseif(Line MATCHES "^Licen[cs]e:[ \t]*(.+)$")
      set(LICENSE "${CMAKE_MATCH_1}")
    elseif(Line MATCHES "^Generated:[ \t]*(.+)$")
      set(GENERATED "${CMAKE_MATCH_1}")
    endif()
    if(Line MATCHES "obtained from (https?://[^ \t]*[^ \t.,])")
      set(SOURCE_URL "${CMAKE_MATCH_1}")
    endif()
    if(Line MATCHES "licen[cs]e terms at (https?://[^ \t]*[^ \t.,])")
      set(LICENSE_URL "${CMAKE_MATCH_1}")
    endif()
  endwhile()
  string(REGEX REPLACE "^\n+" "" Header "${Header}")
  string(REGEX REPLACE "\n+$" "" Header "${Header}")

  if(VENDOR STREQUAL "" OR LICENSE STREQUAL "")
    message(FATAL_ERROR "${List}: its header names no Vendor or no License, so the range "
                        "data's licence cannot be stated; read the list's source and extend "
                        "packaging/DataNotice.cmake")
  endif()
  # "CC BY-SA 4.0" -> "CC-BY-SA-4.0", the spelling of the copyright format and of SPDX.
  string(REGEX REPLACE "[ \t]+" "-" LICENSE_ID "${LICENSE}")
  if(NOT LICENSE_ID MATCHES "^[A-Za-z0-9][A-Za-z0-9.+-]*$")
    message(FATAL_ERROR "${List}: the licence \"${LICENSE}\" has no short name the copyright "
                        "file could use; read its terms and name it in packaging/DataNotice.cmake")
  endif()
  foreach(Field VENDOR LICENSE LICENSE_ID SOURCE_URL LICENSE_URL GENERATED)
    set(${Prefix}_${Field} "${${Field}}" PARENT_SCOPE)
  endforeach()
  set(${Prefix}_HEADER "${Header}" PARENT_SCOPE)
endfunction()

# quorvex_copyright_paragraph(<out> <text>): free text as the body of a copyright-format
# field: each line indented by one space, an empty line as " .".
function(quorvex_copyright_paragraph Out Text)
  string(REGEX REPLACE "\n\n+" "\n\n" Text "${Text}")
  string(REPLACE "\n\n" "\n.\n" Text "${Text}")
  string(REPLACE "\n" "\n " Text "${Text}")
  set(${Out} " ${Text}" PARENT_SCOPE)
endfunction()

# quorvex_data_copyright(<out> <licence folder> <pattern> <list> [<pattern> <list>]...): the
# copyright file's paragraphs for range files (by their path pattern in the build tree, as
# the copyright format matches files by path) and the country lists they are built from,
# then one License paragraph for each licence: its text where <licence folder> holds a file
# of its short name, otherwise the header's own pointer to the terms (and a warning).
function(quorvex_data_copyright Out LicenceFolder)
  set(Text "")
  set(Licences "")
  set(Pairs ${ARGN})
  while(Pairs)
    list(POP_FRONT Pairs Pattern List)
    quorvex_data_notice("${List}" Data)
    set(Comment "Built at package time by tools/ostrand-build from ${List}, whose header reads:\n\n${Data_HEADER}")
    quorvex_copyright_paragraph(Comment "${Comment}")
    string(APPEND Text "Files: ${Pattern}\nCopyright: ${Data_VENDOR}\nLicense: ${Data_LICENSE_ID}\n"
                       "Comment:\n${Comment}\n\n")
    if(NOT Data_LICENSE_ID IN_LIST Licences)
      list(APPEND Licences ${Data_LICENSE_ID})
      set(Terms_${Data_LICENSE_ID} "${Data_LICENSE_URL}")
    endif()
  endwhile()
  foreach(Id IN LISTS Licences)
    if(EXISTS "${LicenceFolder}/${Id}")
      file(READ "${LicenceFolder}/${Id}" Body)
      string(REGEX REPLACE "\n+$" "" Body "${Body}")
    else()
      message(WARNING "The range data's licence ${Id} has no text in ${LicenceFolder}; the "
                      "copyright file points to its terms instead. Add the licence's text there.")
      set(Body "The full terms of this licence are at ${Terms_${Id}}")
      if(Terms_${Id} STREQUAL "")
        set(Body "The data's header names this licence without a copy of its terms.")
      endif()
    endif()
    quorvex_copyright_paragraph(Body "${Body}")
    string(APPEND Text "License: ${Id}\n${Body}\n\n")
  endforeach()
  string(REGEX REPLACE "\n+$" "" Text "${Text}")
  set(${Out} "${Text}" PARENT_SCOPE)
endfunction()
