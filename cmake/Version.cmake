# The version is MAJOR.MINOR.<commits up to the one built>: every commit on
# main counts one more, so every build upgrades every earlier one (the
# package's product code follows from the version), and one commit always
# names the same version. Read before project(), which takes the result.
#
# A copy without the repository's history (an exported tarball) cannot count
# its commits: it takes SPELVANE_BUILD_NUMBER where given (the count of the
# commit it was exported from), else 0, below every build of main, and says
# which and why.
set(SPELVANE_VERSION_MAJOR_MINOR 1.0)
set(SPELVANE_BUILD_NUMBER "" CACHE STRING
    "The version's third number for a copy of the source without its git history")

function(spelvane_build_number out)
  set(source ${CMAKE_CURRENT_SOURCE_DIR})
  # A copy inside another repository's tree must not count that one's commits.
  execute_process(COMMAND git -C ${source} rev-parse --show-prefix
                  RESULT_VARIABLE failed OUTPUT_VARIABLE prefix ERROR_VARIABLE why
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT failed AND NOT prefix STREQUAL "")
    set(failed 1)
    set(why "it lies in the folder ${prefix} of another repository")
  elseif(NOT failed)
    execute_process(COMMAND git -C ${source} rev-list --count HEAD
                    RESULT_VARIABLE failed OUTPUT_VARIABLE count ERROR_VARIABLE why
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT SPELVANE_BUILD_NUMBER STREQUAL "")
    if(NOT SPELVANE_BUILD_NUMBER MATCHES "^[0-9]+$" OR SPELVANE_BUILD_NUMBER GREATER 65535)
      message(FATAL_ERROR "SPELVANE_BUILD_NUMBER is '${SPELVANE_BUILD_NUMBER}': a number from 0 to 65535 "
                          "(Windows Installer keeps no more in a version's third part)")
    endif()
    if(NOT failed AND NOT count STREQUAL SPELVANE_BUILD_NUMBER)
      message(WARNING "SPELVANE_BUILD_NUMBER ${SPELVANE_BUILD_NUMBER} is taken, though ${source} "
                      "is at commit number ${count}")
    endif()
    set(${out} ${SPELVANE_BUILD_NUMBER} PARENT_SCOPE)
    return()
  endif()
  if(failed OR NOT count MATCHES "^[0-9]+$")
    if(why STREQUAL "" AND NOT failed MATCHES "^[0-9]*$")
      set(why "git: ${failed}")
    elseif(why STREQUAL "")
      set(why "git gave '${count}'")
    endif()
    message(WARNING "Spelvane: ${source} has no git history to count its commits (${why}). "
                    "The version is ${SPELVANE_VERSION_MAJOR_MINOR}.0, below every build of main, which "
                    "any of them upgrades; give -DSPELVANE_BUILD_NUMBER=<the commit count of the commit "
                    "this copy came from> to build that version.")
    set(${out} 0 PARENT_SCOPE)
    return()
  endif()
  if(count GREATER 65535)
    message(FATAL_ERROR "Spelvane: ${count} commits do not fit a version's third part (65535 at most): "
                        "raise the minor version in cmake/Version.cmake")
  endif()
  execute_process(COMMAND git -C ${source} rev-parse --is-shallow-repository
                  OUTPUT_VARIABLE shallow OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(shallow STREQUAL "true")
    message(WARNING "Spelvane: ${source} is a shallow clone: its ${count} commits are those fetched, "
                    "not all of main's; fetch the whole history (git fetch --unshallow) for the true version")
  endif()
  # A new commit or another checkout counts again.
  execute_process(COMMAND git -C ${source} rev-parse --git-path HEAD --git-path logs/HEAD
                  OUTPUT_VARIABLE watched OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REPLACE "\n" ";" watched "${watched}")
  foreach(file IN LISTS watched)
    get_filename_component(file ${file} ABSOLUTE BASE_DIR ${source})
    if(EXISTS ${file})
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    endif()
  endforeach()
  set(${out} ${count} PARENT_SCOPE)
endfunction()

spelvane_build_number(SPELVANE_BUILD)
set(SPELVANE_VERSION ${SPELVANE_VERSION_MAJOR_MINOR}.${SPELVANE_BUILD})
