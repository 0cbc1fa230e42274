// Linked into every test program: the sanitizers' options and the environment that the tests
// pin, so that a test binary behaves the same under ctest and when run by hand.
#include <cstdlib>

extern "C" {

// System libraries (GLib's type system, fontconfig, Qt's plugins) keep one-time allocations.
const char* __lsan_default_options() {
  return "suppressions=" WEBLETTER_TEST_SUPPORT_DIR "/../lsan.supp:print_suppressions=0";
}

const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

}  // extern "C"

namespace {

// Dates and names in the tests do not depend on the machine's zone or language, and no test
// reads the developer's own ~/.netrc: tests that need one make their own home.
const bool kPinned = [] {
  setenv("TZ", "UTC", 1);
  setenv("LC_ALL", "C.UTF-8", 1);
  setenv("HOME", "/nonexistent/webletter-test-home", 1);
  return true;
}();

}  // namespace
