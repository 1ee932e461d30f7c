# SONORET_FUZZ=ON builds the libFuzzer targets of fuzz/ with clang. All the
# program's libraries are then built with coverage feedback, AddressSanitizer
# and UndefinedBehaviorSanitizer, so that the fuzzer sees into them and a
# fault anywhere counts as a crash.

option(SONORET_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(SONORET_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "SONORET_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ "
                        "or the 'fuzz' preset")
  endif()
  if(SONORET_SANITIZE)
    message(FATAL_ERROR "SONORET_FUZZ brings its own sanitizers; leave SONORET_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
