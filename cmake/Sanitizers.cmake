# Instrumented builds. SONORET_SANITIZE=address builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer (undefined behaviour stops
# the program), SONORET_SANITIZE=thread with ThreadSanitizer. The libraries
# from the system (Qt, libjack, FluidSynth, RtMidi) stay uninstrumented;
# tsan.supp keeps the reports that arise wholly inside them.

set(SONORET_SANITIZE "" CACHE STRING "Sanitizer build: empty, address (ASan + UBSan) or thread (TSan)")
set_property(CACHE SONORET_SANITIZE PROPERTY STRINGS "" address thread)

if(SONORET_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(SONORET_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT SONORET_SANITIZE STREQUAL "")
  message(FATAL_ERROR "SONORET_SANITIZE must be empty, address or thread, not '${SONORET_SANITIZE}'")
endif()

# What the sanitizer runtimes are told when CTest runs the fuzz input
# replays; the GoogleTest programs carry the same built in
# (tests/sanitizer_options.cpp).
set(SONORET_SANITIZER_ENVIRONMENT "")
if(SONORET_SANITIZE)
  set(SONORET_SANITIZER_ENVIRONMENT
      "ASAN_OPTIONS=detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=1"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitizers/lsan.supp:print_suppressions=0"
      "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitizers/tsan.supp:second_deadlock_stack=1:print_suppressions=0")
endif()
