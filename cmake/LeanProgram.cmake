# Settings shared by the shipped programs: no C++ runtime library code,
# small, static (system DLLs only), ASLR and DEP on, Terminal-Server aware
# (else a Remote Desktop host hands them a per-user Windows folder), and the same bytes from
# every build of one commit (no build path, no link time inside).
set(LEAN_CXX_FLAGS -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-threadsafe-statics -ffunction-sections -fdata-sections -Wall -Wextra
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)

# The programs' PE time stamp: the source date (cmake/SourceDateEpoch.cmake),
# worked out on every build and handed to the linker by a launcher.
set(SOURCE_DATE_EPOCH_FILE ${CMAKE_BINARY_DIR}/source-date-epoch)
add_custom_target(source_date_epoch
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DEPOCH_FILE=${SOURCE_DATE_EPOCH_FILE}
          -P ${CMAKE_CURRENT_LIST_DIR}/SourceDateEpoch.cmake
  BYPRODUCTS ${SOURCE_DATE_EPOCH_FILE}
  VERBATIM)

set(LEAN_PROGRAM_DIR ${CMAKE_CURRENT_LIST_DIR})

# The oldest Windows a program's code may call into: 0x0502 (XP SP2 /
# Server 2003, for SetDllDirectory) unless a second argument names another.
function(lean_objects target)
  set(floor 0x0502)
  if(ARGC GREATER 1)
    set(floor ${ARGV1})
  endif()
  target_compile_options(${target} PRIVATE ${LEAN_CXX_FLAGS})
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=${floor})
endfunction()

# A program whose code needs Windows Vista or later: its image says so, so
# that an older Windows refuses to start it rather than run it without the
# calls its rules need. Its objects are built with lean_objects(... 0x0600).
function(lean_vista_image target)
  target_link_options(${target} PRIVATE -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0
      -Wl,--major-os-version,6 -Wl,--minor-os-version,0)
endfunction()

# The resource compiler gets the project version in parts, for the
# VERSIONINFO built in resources/VersionInfo.rc2.
function(lean_program target)
  lean_objects(${target} ${ARGN})
  set(tweak ${CMAKE_PROJECT_VERSION_TWEAK})
  if("${tweak}" STREQUAL "")
    set(tweak 0)
  endif()
  set(version_defs
      APP_VERSION_MAJOR=${CMAKE_PROJECT_VERSION_MAJOR}
      APP_VERSION_MINOR=${CMAKE_PROJECT_VERSION_MINOR}
      APP_VERSION_PATCH=${CMAKE_PROJECT_VERSION_PATCH}
      APP_VERSION_TWEAK=${tweak})
  target_compile_definitions(${target} PRIVATE "$<$<COMPILE_LANGUAGE:RC>:${version_defs}>")
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  target_link_options(${target} PRIVATE -static -Wl,--gc-sections
      -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware -Wl,--enable-reloc-section
      $<$<NOT:$<CONFIG:Debug>>:-s>)
  add_dependencies(${target} source_date_epoch)
  set(launcher sh ${LEAN_PROGRAM_DIR}/link-at-source-date.sh ${SOURCE_DATE_EPOCH_FILE})
  set_target_properties(${target} PROPERTIES
    LINK_DEPENDS ${SOURCE_DATE_EPOCH_FILE}
    C_LINKER_LAUNCHER "${launcher}"
    CXX_LINKER_LAUNCHER "${launcher}")
endfunction()
