// Options the sanitizer runtimes read at start-up, so that the tests run the
// same under CTest, from a shell or in a debugger. Built into the test
// programs and the program itself in sanitizer builds only.

#define SONORET_SUPPRESSIONS(name) "suppressions=" SONORET_SOURCE_DIR "/tests/sanitizers/" name

extern "C" {

const char *__asan_default_options()
{
    return "detect_leaks=1:abort_on_error=0:strict_init_order=1:detect_stack_use_after_return=1";
}

const char *__ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

const char *__lsan_default_options()
{
    return SONORET_SUPPRESSIONS("lsan.supp") ":print_suppressions=0";
}

const char *__tsan_default_options()
{
    return SONORET_SUPPRESSIONS("tsan.supp") ":halt_on_error=0:second_deadlock_stack=1:print_suppressions=0";
}

} // extern "C"
