// The program with its window. The window, and with it the toolkit, lives in a module of its own
// (libwebletter-window.so) that is loaded only when the window or a box on the display is wanted:
// a batch job loads no toolkit.
#include <dlfcn.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/main.h"
#include "platform/program_folder.h"
#include "window/run_window.h"

namespace webletter {
namespace {

// Where the module is looked for: lib/ below the program's folder (installed), beside the program
// (the build folder), and in a build with the tests the build folder itself, as the tests run
// copies of the program.
std::vector<std::string> ModulePlaces() {
  const std::string folder = ProgramFolder();
  std::vector<std::string> places{folder + "lib/" + kWindowModule, folder + kWindowModule};
#ifdef WEBLETTER_MODULE_BUILD_DIR
  places.push_back(std::string(WEBLETTER_MODULE_BUILD_DIR) + "/" + kWindowModule);
#endif
  return places;
}

// The module's entry, loaded at the first call; null, after saying why on standard error, when
// the module cannot be loaded.
const WindowEntry* LoadWindow() {
  static const WindowEntry* const entry = []() -> const WindowEntry* {
    std::string first_failure;
    for (const std::string& place : ModulePlaces()) {
      void* module = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
      void* get = module != nullptr ? ::dlsym(module, kWindowEntryName) : nullptr;
      if (get != nullptr) return reinterpret_cast<const WindowEntry* (*)()>(get)();
      if (first_failure.empty()) first_failure = ::dlerror();
    }
    std::cerr << "webletter: the window's module " << kWindowModule << " could not be loaded ("
              << first_failure
              << "); run a batch job instead: webletter SECTION[,MODE] (webletter help lists the "
                 "modes)\n";
    return nullptr;
  }();
  return entry;
}

bool LoadsWindow() { return LoadWindow() != nullptr; }

bool RunModuleWindow(const ProgramState& state, int& argc, char** argv) {
  return LoadWindow()->run(state, argc, argv);
}

// Loads the module only when the first box is shown; without it the box is the console's.
class ModuleMessageBox : public MessageBox {
 public:
  ModuleMessageBox(int& argc, char** argv) : argc_(argc), argv_(argv) {}

  void Show(std::string_view text, MessageStyle style) override {
    if (!box_) {
      const WindowEntry* entry = LoadWindow();
      box_ = entry != nullptr ? entry->create_message_box(argc_, argv_)
                              : std::make_unique<ConsoleMessageBox>();
    }
    box_->Show(text, style);
  }

 private:
  int& argc_;
  char** argv_;
  std::unique_ptr<MessageBox> box_;
};

std::unique_ptr<MessageBox> CreateModuleMessageBox(int& argc, char** argv) {
  return std::make_unique<ModuleMessageBox>(argc, argv);
}

}  // namespace
}  // namespace webletter

int main(int argc, char** argv) {
  const webletter::WindowFunctions window{
      webletter::RunModuleWindow, webletter::CreateModuleMessageBox, webletter::LoadsWindow};
  return webletter::Main(argc, argv, &window);
}
