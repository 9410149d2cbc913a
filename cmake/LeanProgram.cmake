# Settings shared by the shipped programs: no C++ runtime library code,
# small, static (system DLLs only), ASLR and DEP on.
set(LEAN_CXX_FLAGS -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-threadsafe-statics -ffunction-sections -fdata-sections -Wall -Wextra)

function(lean_objects target)
  target_compile_options(${target} PRIVATE ${LEAN_CXX_FLAGS})
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
endfunction()

function(lean_program target)
  lean_objects(${target})
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  target_link_options(${target} PRIVATE -static -Wl,--gc-sections
      -Wl,--dynamicbase -Wl,--nxcompat -Wl,--enable-reloc-section
      $<$<NOT:$<CONFIG:Debug>>:-s>)
endfunction()
