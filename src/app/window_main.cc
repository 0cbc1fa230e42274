// The program with its window.
#include "app/main.h"
#include "window/run_window.h"

int main(int argc, char** argv) {
  const webletter::WindowFunctions window{webletter::RunWindow, webletter::CreateWindowMessageBox};
  return webletter::Main(argc, argv, &window);
}
