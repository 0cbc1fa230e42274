// The program without the window: batch jobs and the usage only, no toolkit linked.
#include "app/main.h"

int main(int argc, char** argv) { return webletter::Main(argc, argv, nullptr); }
