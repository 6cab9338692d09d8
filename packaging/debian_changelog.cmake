# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the package's changelog in Debian's changelog format, made from CHANGELOG.md:
#   cmake -DSOURCE=CHANGELOG.md -DOUTPUT=FILE -DPACKAGE=NAME -DVERSION=X.Y.Z
#         -DMAINTAINER="NAME <ADDRESS>" -DDATE=YYYY-MM-DD -P debian_changelog.cmake
#
# Every "## VERSION" section becomes an entry of that version; "## VERSION - YYYY-MM-DD"
# gives its date, else DATE (the release date of the version built) stands. The
# "## Unreleased" section is the version built, not yet released ("UNRELEASED"), so that
# the changelog heads with the package's version; that version may then have no section
# of its own (packaging/CMakeLists.txt makes it VERSION+unreleased where it has one).
# "### Group" headings become items that hold the group's items; every item is wrapped
# at 80 columns. The text before the first section (the file's title and preface) is left
# out. Only the inputs decide the output, so that every build writes the same bytes.
foreach(name SOURCE OUTPUT PACKAGE VERSION MAINTAINER DATE)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "debian_changelog.cmake: -D${name}=... is missing")
  endif()
endforeach()

# CMake lists split at ";" except inside brackets: the text carries those three as control
# characters until it is written.
string(ASCII 1 semicolon_mark)
string(ASCII 2 open_mark)
string(ASCII 3 close_mark)

# "Tue, 08 Dec 2026 00:00:00 +0000" for 2026-12-08: the day number since 1970-01-01 by the
# proleptic Gregorian calendar, whose day 0 was a Thursday.
function(debian_date iso out)
  if(NOT iso MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "debian_changelog.cmake: the date ${iso} is not YYYY-MM-DD")
  endif()
  set(year ${CMAKE_MATCH_1})
  set(year_text ${CMAKE_MATCH_1})
  set(month_text ${CMAKE_MATCH_2})
  set(day_text ${CMAKE_MATCH_3})
  string(REGEX REPLACE "^0" "" month "${month_text}")
  string(REGEX REPLACE "^0" "" day "${day_text}")
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
    math(EXPR shifted_month "${month} + 9")
  else()
    math(EXPR shifted_month "${month} - 3")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR year_of_era "${year} - ${era} * 400")
  math(EXPR day_of_year "(153 * ${shifted_month} + 2) / 5 + ${day} - 1")
  math(EXPR day_of_era
       "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
  math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
  math(EXPR weekday "(${days} + 4) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  math(EXPR month_index "${month} - 1")
  list(GET months ${month_index} month_name)
  set(${out} "${weekday_name}, ${day_text} ${month_name} ${year_text} 00:00:00 +0000"
      PARENT_SCOPE)
endfunction()

# Appends one item's words to the entry, filled up to 80 columns: the first line starts
# with the marker, the others line up under its text.
function(append_item marker indent words)
  string(STRIP "${words}" words)
  if(words STREQUAL "")
    return()
  endif()
  string(REGEX REPLACE "[ ]+" ";" word_list "${words}")
  set(line "${marker}")
  set(fresh TRUE)
  foreach(word IN LISTS word_list)
    string(LENGTH "${line} ${word}" length)
    if(fresh)
      string(APPEND line "${word}")
      set(fresh FALSE)
    elseif(length GREATER 80)
      string(APPEND entry_text "${line}\n")
      set(line "${indent}${word}")
    else()
      string(APPEND line " ${word}")
    endif()
  endforeach()
  string(APPEND entry_text "${line}\n")
  set(entry_text "${entry_text}" PARENT_SCOPE)
endfunction()

file(READ "${SOURCE}" text)
string(REPLACE ";" "${semicolon_mark}" text "${text}")
string(REPLACE "[" "${open_mark}" text "${text}")
string(REPLACE "]" "${close_mark}" text "${text}")
string(REPLACE "\r" "" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

# A pass over the headings first: the unreleased changes cannot be a version that has a
# section of its own, or two entries would claim it.
set(unreleased FALSE)
set(released_built FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^## +Unreleased$")
    set(unreleased TRUE)
  elseif(line MATCHES "^## +([^ ]+)" AND CMAKE_MATCH_1 STREQUAL VERSION)
    set(released_built TRUE)
  endif()
endforeach()
if(unreleased AND released_built)
  message(FATAL_ERROR "debian_changelog.cmake: ${VERSION} has a section of its own, so the "
                      "unreleased changes need another version")
endif()

set(output "")
set(entry_head "")
set(entry_text "")
set(entry_date "")
set(item "")
set(item_marker "")
set(item_indent "")
set(in_group FALSE)

macro(close_item)
  if(NOT item STREQUAL "")
    append_item("${item_marker}" "${item_indent}" "${item}")
  endif()
  set(item "")
endmacro()

macro(close_entry)
  close_item()
  if(NOT entry_head STREQUAL "")
    debian_date("${entry_date}" when)
    if(NOT output STREQUAL "")
      string(APPEND output "\n")
    endif()
    string(APPEND output "${entry_head}\n\n${entry_text}\n -- ${MAINTAINER}  ${when}\n")
  endif()
  set(entry_head "")
  set(entry_text "")
endmacro()

foreach(line IN LISTS lines)
  if(line MATCHES "^## +(.*)$")
    close_entry()
    set(heading "${CMAKE_MATCH_1}")
    set(entry_date "${DATE}")
    if(heading MATCHES "^(.*[^ ]) +- +([0-9-]+)$")
      set(heading "${CMAKE_MATCH_1}")
      set(entry_date "${CMAKE_MATCH_2}")
    endif()
    if(heading STREQUAL "Unreleased")
      set(entry_head "${PACKAGE} (${VERSION}) UNRELEASED; urgency=medium")
    else()
      set(entry_head "${PACKAGE} (${heading}) unstable; urgency=medium")
    endif()
    set(in_group FALSE)
  elseif(entry_head STREQUAL "")
    # The title and preface.
  elseif(line MATCHES "^### +(.*)$")
    close_item()
    append_item("  * " "    " "${CMAKE_MATCH_1}:")
    set(in_group TRUE)
  elseif(line MATCHES "^- +(.*)$")
    close_item()
    set(item "${CMAKE_MATCH_1}")
    if(in_group)
      set(item_marker "    - ")
      set(item_indent "      ")
    else()
      set(item_marker "  * ")
      set(item_indent "    ")
    endif()
  elseif(line STREQUAL "")
    close_item()
  elseif(NOT item STREQUAL "" AND (line MATCHES "^ " OR item_marker STREQUAL "  "))
    # The item's next line, or the paragraph's.
    string(STRIP "${line}" line)
    string(APPEND item " ${line}")
  else()
    # A paragraph of its own.
    close_item()
    set(item "${line}")
    set(item_marker "  ")
    set(item_indent "  ")
  endif()
endforeach()
close_entry()

string(REPLACE "${semicolon_mark}" ";" output "${output}")
string(REPLACE "${open_mark}" "[" output "${output}")
string(REPLACE "${close_mark}" "]" output "${output}")
file(WRITE "${OUTPUT}" "${output}")
