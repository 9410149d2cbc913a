# The release zip, made by the package target through the generated
# release-zip.cmake, which sets RELEASE_NAME, RELEASE_FILES (in zip order),
# EPOCH_FILE and OUTPUT_DIR (-DOUTPUT_DIR=... puts it elsewhere):
#   <OUTPUT_DIR>/<RELEASE_NAME>/         the files as shipped (programs signed)
#   <OUTPUT_DIR>/<RELEASE_NAME>.zip      those files, in one folder
#   <OUTPUT_DIR>/<RELEASE_NAME>.zip.sha256
# The zip depends on the files' bytes and the source date only: fixed order,
# times and modes, no owner or extra fields, times in UTC. The programs are
# signed (Authenticode, SHA-256) when UNRAVEL_SIGN_PFX names a PKCS#12 file
# and UNRAVEL_SIGN_PASSWORD its password; UNRAVEL_SIGN_TIMESTAMP_URL adds a
# time stamp from that server. A failed signing leaves no zip behind.

set(stage ${OUTPUT_DIR}/${RELEASE_NAME})
set(zip ${OUTPUT_DIR}/${RELEASE_NAME}.zip)
file(REMOVE ${zip} ${zip}.part ${zip}.sha256)
file(REMOVE_RECURSE ${stage})

find_program(ZIP zip)
if(NOT ZIP)
  message(FATAL_ERROR "zip not found (tools/setup.sh installs it)")
endif()
file(READ ${EPOCH_FILE} epoch)
string(STRIP "${epoch}" epoch)

file(MAKE_DIRECTORY ${stage})
set(names "")
foreach(f IN LISTS RELEASE_FILES)
  get_filename_component(name ${f} NAME)
  list(APPEND names ${name})
  if(name MATCHES "\\.exe$")
    file(COPY ${f} DESTINATION ${stage} FILE_PERMISSIONS
         OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  else()
    file(COPY ${f} DESTINATION ${stage} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()

# signing_failed(<text>...): the parts are joined into one message.
function(signing_failed)
  file(REMOVE_RECURSE ${stage} ${OUTPUT_DIR}/.signing)
  string(CONCAT why ${ARGV})
  message(FATAL_ERROR "Signing failed: ${why}")
endfunction()

if("$ENV{UNRAVEL_SIGN_PFX}" STREQUAL "")
  message(STATUS "Unsigned: no certificate named (set UNRAVEL_SIGN_PFX and UNRAVEL_SIGN_PASSWORD to sign)")
else()
  get_filename_component(pfx "$ENV{UNRAVEL_SIGN_PFX}" ABSOLUTE)
  if(NOT EXISTS "${pfx}")
    signing_failed("UNRAVEL_SIGN_PFX names '${pfx}', which does not exist")
  endif()
  if(NOT DEFINED ENV{UNRAVEL_SIGN_PASSWORD})
    signing_failed("UNRAVEL_SIGN_PFX is set but UNRAVEL_SIGN_PASSWORD is not"
                   " (set it empty for a certificate without one)")
  endif()
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    signing_failed("osslsigncode not found (tools/setup.sh installs it)")
  endif()
  # The password goes to osslsigncode in a file only its owner can read,
  # not on a command line that every process can see (osslsigncode refuses
  # an empty file: no password, no file).
  set(private ${OUTPUT_DIR}/.signing)
  file(REMOVE_RECURSE ${private})
  file(MAKE_DIRECTORY ${private})
  file(CHMOD ${private} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set(password "")
  if(NOT "$ENV{UNRAVEL_SIGN_PASSWORD}" STREQUAL "")
    file(WRITE ${private}/password "$ENV{UNRAVEL_SIGN_PASSWORD}")
    set(password -readpass ${private}/password)
  endif()
  set(timestamp "")
  if(NOT "$ENV{UNRAVEL_SIGN_TIMESTAMP_URL}" STREQUAL "")
    set(timestamp -ts "$ENV{UNRAVEL_SIGN_TIMESTAMP_URL}")
  endif()
  set(programs ${names})
  list(FILTER programs INCLUDE REGEX "\\.exe$")
  foreach(name IN LISTS programs)
    execute_process(
      COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${pfx} ${password} -h sha256
              ${timestamp} -in ${stage}/${name} -out ${private}/${name}
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
      signing_failed("osslsigncode could not sign ${name} with '${pfx}'"
                     " (wrong password, not a PKCS#12 file, or the time-stamp server failed):\n${out}")
    endif()
    file(RENAME ${private}/${name} ${stage}/${name})
  endforeach()
  file(REMOVE_RECURSE ${private})
  list(JOIN programs " " signed)
  message(STATUS "Signed with ${pfx}: ${signed}")
endif()

# zip takes each file's time (as local time, hence UTC) and mode; -X leaves
# out the owner and the extra time fields, -D the folder entry; its own
# options from the environment (ZIPOPT, ZIP) stay out.
set(paths "")
foreach(name IN LISTS names)
  execute_process(COMMAND touch -d @${epoch} ${stage}/${name} COMMAND_ERROR_IS_FATAL ANY)
  list(APPEND paths ${RELEASE_NAME}/${name})
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=ZIPOPT --unset=ZIP TZ=UTC0
                        ${ZIP} -X -D -q ${zip}.part ${paths}
                WORKING_DIRECTORY ${OUTPUT_DIR} COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${zip}.part ${zip})

file(SHA256 ${zip} sum)
file(WRITE ${zip}.sha256 "${sum}  ${RELEASE_NAME}.zip\n")
message(STATUS "Release: ${zip} (SHA-256 ${sum})")
