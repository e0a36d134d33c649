#pragma once
// The program's whole life: one copy per user; the main window runs until
// the user closes it. main() is only this; the start-up benchmark runs the
// same with a watcher on the window.

#include <QObject>
#include <QWidget>
#include <functional>
#include <memory>

namespace mivotra {

// `watch`, when given, is handed the main window once it is set up and
// before it is shown; what it returns lives as long as the window runs.
int RunApplication(int argc, char** argv,
                   const std::function<std::unique_ptr<QObject>(QWidget& window)>& watch = {});

}  // namespace mivotra
