// MivotraPatch20091109: the desktop program.

#include "app/Application.h"

int main(int argc, char** argv) {
  return mivotra::RunApplication(argc, argv);
}
