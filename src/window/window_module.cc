// The entry point of the window's module, the one symbol it exports.
#include "window/run_window.h"

extern "C" __attribute__((visibility("default"))) const webletter::WindowEntry*
WebletterWindowEntry() {
  static constexpr webletter::WindowEntry kEntry{webletter::RunWindow,
                                                 webletter::CreateWindowMessageBox};
  return &kEntry;
}
