// The desktop program as it starts, with the first-paint hook watching its
// main window: what bench/startup.sh measures for "ours".

#include "FirstPaintExit.h"
#include "app/Application.h"

int main(int argc, char** argv) {
  return mivotra::RunApplication(argc, argv, [](QWidget& window) -> std::unique_ptr<QObject> {
    return mivotra::FirstPaintExit::FromEnvironment(window);
  });
}
