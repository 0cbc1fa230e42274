// The program with its window. The window, and with it the toolkit, lives in a module of its own
// (libwebletter-window.so) that is loaded only when the window or a box on the display is wanted:
// a batch job loads no toolkit.
#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/main.h"
#include "app/program_folder.h"
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

// What loading the module came to: its entry, or why there is none.
struct LoadedWindow {
  const WindowEntry* entry = nullptr;
  // dlerror's reason for the first module found that failed to load; empty when the module is
  // in none of its places, as where the package with the window is not installed.
  std::string failure;
};

// Loads the module from the first place that holds one that loads; at the first call only.
const LoadedWindow& LoadWindow() {
  static const LoadedWindow loaded = [] {
    LoadedWindow result;
    for (const std::string& place : ModulePlaces()) {
      std::error_code error;
      if (std::filesystem::status(place, error).type() == std::filesystem::file_type::not_found)
        continue;
      void* module = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
      void* get = module != nullptr ? ::dlsym(module, kWindowEntryName) : nullptr;
      if (get != nullptr) {
        result.entry = reinterpret_cast<const WindowEntry* (*)()>(get)();
        return result;
      }
      const char* why = ::dlerror();
      if (result.failure.empty()) result.failure = why != nullptr ? why : "no reason given";
    }
    return result;
  }();
  return loaded;
}

// One line on standard error: why the window cannot open, and what to run instead.
void SayWhyNoWindow(const LoadedWindow& loaded) {
  if (loaded.failure.empty()) {
    std::cerr << "webletter: the window is not installed (its package is webletter-window)";
  } else {
    std::cerr << "webletter: the window's module " << kWindowModule << " could not be loaded ("
              << loaded.failure << ")";
  }
  std::cerr << "; run a batch job instead: webletter SECTION[,MODE] (webletter help lists the "
               "modes)\n";
}

bool LoadsWindow() {
  const LoadedWindow& loaded = LoadWindow();
  if (loaded.entry == nullptr) SayWhyNoWindow(loaded);
  return loaded.entry != nullptr;
}

bool RunModuleWindow(const ProgramState& state, int& argc, char** argv) {
  return LoadWindow().entry->run(state, argc, argv);
}

// Loads the module only when the first box is shown; without it the box is the console's.
class ModuleMessageBox : public MessageBox {
 public:
  ModuleMessageBox(int& argc, char** argv) : argc_(argc), argv_(argv) {}

  void Show(std::string_view text, MessageStyle style) override {
    if (!box_) {
      const LoadedWindow& loaded = LoadWindow();
      // Without the window's package the console is the box's place, as in a build without
      // the window; a module that is there but broken is worth a word.
      if (loaded.entry == nullptr && !loaded.failure.empty()) SayWhyNoWindow(loaded);
      box_ = loaded.entry != nullptr ? loaded.entry->create_message_box(argc_, argv_)
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
