# SPDX-License-Identifier: MIT
# The configuration-time generators of packaging/, run in script mode: the release notes'
# reader and what it turns them into, and the range data's licence as the country list's
# header states it. Malformed release notes and headers without a licence must stop the
# build with the line and the reason; a data release under another licence must not be
# described with the old one.
# usage: cmake -DSOURCE=<repository> -DWORK=<scratch folder> -P GeneratorsTest.cmake
#   (with -DRUN=<file> -DWHAT=news|notice it reads one file instead, for the cases that must fail)
cmake_minimum_required(VERSION 3.25)
include(${SOURCE}/packaging/News.cmake)
include(${SOURCE}/packaging/DataNotice.cmake)

if(DEFINED RUN)
  if(WHAT STREQUAL "news")
    quorvex_read_news("${RUN}" N)
  else()
    quorvex_data_copyright(Text "${SOURCE}/packaging/licenses" "*/x.dat" "${RUN}")
  endif()
  return()
endif()

set(Failures 0)
# check(<name> <condition>...): the condition as if() takes it; compare texts by variable name.
macro(check Name)
  if(${ARGN})
    message(STATUS "PASS: ${Name}")
  else()
    message(STATUS "FAIL: ${Name}")
    math(EXPR Failures "${Failures} + 1")
  endif()
endmacro()

# fails(<what> <name> <file text> <expected message part>): the file stops the reader with
# a message holding the part.
function(fails What Name Content Part)
  file(WRITE ${WORK}/case "${Content}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE=${SOURCE} -DRUN=${WORK}/case -DWHAT=${What}
                          -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE Result ERROR_VARIABLE Err OUTPUT_QUIET)
  string(REGEX REPLACE "[ \n]+" " " Err "${Err}")
  string(FIND "${Err}" "${Part}" At)
  if(NOT Result EQUAL 0 AND At GREATER -1)
    message(STATUS "PASS: ${Name} is refused (${Part})")
  else()
    message(STATUS "FAIL: ${Name}: exit ${Result}, message: ${Err}")
    set(Failed TRUE PARENT_SCOPE)
  endif()
endfunction()
file(MAKE_DIRECTORY ${WORK})

# --- Release notes: one good file, read back in every form.
file(WRITE ${WORK}/NEWS [=[
Notes before the first entry say nothing to the build.

Quorvex 2.1.0 (2026-12-09)

  * One item; with [brackets], a & an <angle>.
  * Another item that goes on
    in a second line.

Quorvex 2.0.0 (2024-02-29)

  * The first.
]=])
quorvex_read_news(${WORK}/NEWS N)
check("two entries, the newest first" N_COUNT EQUAL 2 AND N_VERSION STREQUAL 2.1.0 AND N_DATE STREQUAL 2026-12-09)
set(Want "Another item that goes on in a second line.")
check("an item's lines joined" N_1_ITEMS EQUAL 2 AND N_1_ITEM_2 STREQUAL Want)
set(Want "One item; with [brackets], a & an <angle>.")
check("';' and brackets kept" N_1_ITEM_1 STREQUAL Want)
quorvex_news_changelog(Log N quorvex "A B <a@b.example>")
string(FIND "${Log}" "quorvex (2.1.0) unstable; urgency=medium\n\n  * One item; with [brackets], a & an <angle>.\n  * Another item that goes on\n    in a second line.\n\n -- A B <a@b.example>  Wed, 09 Dec 2026 12:00:00 +0000\n\nquorvex (2.0.0)" At)
check("changelog stanza: the lines as they stand, the signature, a blank line before the next" At EQUAL 0)
quorvex_news_appstream(Xml N)
string(FIND "${Xml}" "<li>One item; with [brackets], a &amp; an &lt;angle&gt;.</li>" At)
string(FIND "${Xml}" "<release version=\"2.0.0\" date=\"2024-02-29\">" At2)
check("AppStream releases: escaped items, one release each" At GREATER -1 AND At2 GREATER -1)

# Weekdays against date(1), across leap days, January/February and centuries.
foreach(Date 2026-12-09 2024-02-29 2024-03-01 2023-01-01 2000-02-29 2100-03-01 1999-12-31)
  quorvex_news_rfc_date(Mine ${Date})
  execute_process(COMMAND date -u -R -d "${Date} 12:00" OUTPUT_VARIABLE Theirs OUTPUT_STRIP_TRAILING_WHITESPACE)
  check("changelog date of ${Date}: ${Mine}" Mine STREQUAL Theirs)
endforeach()

set(Failed FALSE)
set(H "Quorvex 2.1.0 (2026-12-09)\n\n  * x\n")
fails(news "an older entry first" "Quorvex 2.0.0 (2026-12-01)\n  * x\n${H}" ":3: 2.1.0 comes after 2.0.0")
fails(news "an older entry dated later" "${H}Quorvex 2.0.0 (2026-12-10)\n  * x\n" ":4: 2.0.0 of 2026-12-10 is dated after")
fails(news "30 February" "Quorvex 2.1.0 (2026-02-30)\n  * x\n" ":1: no day 30 in 2026-02")
fails(news "month 13" "Quorvex 2.1.0 (2026-13-01)\n  * x\n" ":1: no month 13")
fails(news "an entry without items" "Quorvex 2.1.0 (2026-12-09)\n\nQuorvex 2.0.0 (2026-12-08)\n  * x\n" ":3: the entry before this one (2.1.0) has no items")
fails(news "a last entry without items" "${H}Quorvex 2.0.0 (2026-12-08)\n" "the last entry (2.0.0) has no items")
fails(news "an item not indented by two" "${H}* y\n" ":4: expected a heading")
fails(news "a continuation with a tab" "${H}\tmore\n" ":4: expected a heading")
fails(news "a continuation after a blank line" "${H}\n    more\n" ":5: expected a heading")
fails(news "a heading of two numbers" "Quorvex 2.1 (2026-12-09)\n  * x\n" ":1: a heading is")
fails(news "a line of 81 characters" "${H}  * 56789012345678901234567890123456789012345678901234567890123456789012345678901\n" ":4: 81 characters")
fails(news "no entries" "Only words.\n" "no entry")
if(Failed)
  math(EXPR Failures "${Failures} + 1")
endif()

# --- The data's notice. The header as Debian's list has it (IPFire, CC BY-SA 4.0): the
# licence's text comes from packaging/licenses.
set(Ranges "16777216,16777471,AU\n")
file(WRITE ${WORK}/geoip "# This file has been converted from the IPFire Location database.\n#\n# Generated: Thu, 25 Jun 2026 04:33:59 GMT\n# Vendor:    IPFire Project\n# License:   CC BY-SA 4.0\n#\n# This database has been obtained from https://location.ipfire.org/\n#\n# Find the full license terms at https://creativecommons.org/licenses/by-sa/4.0/\n#\n${Ranges}")
quorvex_data_notice(${WORK}/geoip D)
set(Vendor "IPFire Project")
set(Licence "CC BY-SA 4.0")
check("vendor and licence from the header" D_VENDOR STREQUAL Vendor AND D_LICENSE STREQUAL Licence AND D_LICENSE_ID STREQUAL CC-BY-SA-4.0)
check("the source and the terms' URLs" D_SOURCE_URL STREQUAL https://location.ipfire.org/ AND D_LICENSE_URL STREQUAL https://creativecommons.org/licenses/by-sa/4.0/)
quorvex_data_copyright(Text ${SOURCE}/packaging/licenses "*/Ostrand.dat" ${WORK}/geoip "*/Ostrand6.dat" ${WORK}/geoip)
string(REGEX MATCHALL "\nLicense: CC-BY-SA-4.0\n Attribution-ShareAlike 4.0 International\n" Paragraphs "\n${Text}")
string(FIND "${Text}" "Files: */Ostrand6.dat\nCopyright: IPFire Project\nLicense: CC-BY-SA-4.0\nComment:\n Built at package time by tools/ostrand-build from ${WORK}/geoip, whose header reads:\n .\n This file has been" At)
list(LENGTH Paragraphs Count)
check("two range files of one licence: two Files paragraphs, the licence's text once" Count EQUAL 1 AND At GREATER -1)
string(FIND "${Text}" "16777216" At)
check("the ranges are not part of the notice" At EQUAL -1)

# A later release of the data under another licence, whose text we do not carry: named as
# the header names it, pointing to its terms, the old licence nowhere.
file(WRITE ${WORK}/geoip-next "# Vendor: Example Data Ltd\n# License: ODbL 1.0\n# Find the full license terms at https://opendatacommons.example/odbl/1-0/.\n${Ranges}")
quorvex_data_copyright(Text ${SOURCE}/packaging/licenses "*/Ostrand.dat" ${WORK}/geoip-next)
string(FIND "${Text}" "Copyright: Example Data Ltd\nLicense: ODbL-1.0\n" At)
string(FIND "${Text}" "License: ODbL-1.0\n The full terms of this licence are at https://opendatacommons.example/odbl/1-0/" At2)
string(FIND "${Text}" "CC-BY-SA" At3)
check("another licence in a newer header is the one stated" At GREATER -1 AND At2 GREATER -1 AND At3 EQUAL -1)

set(Failed FALSE)
fails(notice "a header without a licence" "# Vendor: IPFire Project\n${Ranges}" "names no Vendor or no License")
fails(notice "a header without a vendor" "# License: CC BY-SA 4.0\n${Ranges}" "names no Vendor or no License")
fails(notice "a licence line that only ends in the ranges" "# Vendor: X\n${Ranges}# License: CC0\n" "names no Vendor or no License")
fails(notice "a licence with no short name" "# Vendor: X\n# License: see our web site!\n${Ranges}" "has no short name")
if(Failed)
  math(EXPR Failures "${Failures} + 1")
endif()

if(Failures GREATER 0)
  message(FATAL_ERROR "${Failures} failed")
endif()
