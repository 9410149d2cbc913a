# Build step: writes the time that the release programs and zip carry
# (seconds since 1970) to EPOCH_FILE, rewriting it only when the value
# changes, so that the programs relink only then:
#   cmake -DSOURCE_DIR=<source tree> -DEPOCH_FILE=<file> -P SourceDateEpoch.cmake
# The time is SOURCE_DATE_EPOCH where the build's environment sets it, else
# the time of the commit checked out, else (an unpacked source archive) the
# newest source file's time. Never the clock: two builds of one commit must
# give the same bytes.

if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is '${epoch}', not a number of seconds since 1970")
  endif()
else()
  set(epoch "")
  find_program(GIT git)
  if(GIT)
    # Only a checkout of this tree counts, not a repository it happens to
    # be unpacked in.
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --show-toplevel
                    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE rc ERROR_QUIET)
    if(rc EQUAL 0)
      file(REAL_PATH "${top}" top)
      file(REAL_PATH "${SOURCE_DIR}" source)
      if(top STREQUAL source)
        execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} log -1 --format=%ct
                        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE rc ERROR_QUIET)
        if(NOT rc EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
          set(epoch "")
        endif()
      endif()
    endif()
  endif()
  if(epoch STREQUAL "")
    file(GLOB_RECURSE sources LIST_DIRECTORIES false
         ${SOURCE_DIR}/CMakeLists.txt ${SOURCE_DIR}/cmake/* ${SOURCE_DIR}/uninstaller/*
         ${SOURCE_DIR}/dxsetup/* ${SOURCE_DIR}/resources/* ${SOURCE_DIR}/docs/README.txt)
    set(epoch 0)
    foreach(f IN LISTS sources)
      file(TIMESTAMP ${f} t "%s" UTC)
      if(t GREATER epoch)
        set(epoch ${t})
      endif()
    endforeach()
    message(STATUS "Not a git checkout and no SOURCE_DATE_EPOCH: the release carries "
                   "the newest source file's time (${epoch})")
  endif()
endif()

set(old "")
if(EXISTS ${EPOCH_FILE})
  file(READ ${EPOCH_FILE} old)
endif()
if(NOT old STREQUAL "${epoch}\n")
  file(WRITE ${EPOCH_FILE} "${epoch}\n")
endif()
