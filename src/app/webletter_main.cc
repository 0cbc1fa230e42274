#include "app/main.h"

int main(int argc, char** argv) { return webletter::Main(argc, argv); }
