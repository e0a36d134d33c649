#pragma once
// The main application's window test of this platform: a top-level X11
// window of the class on Linux desktops; nothing where the program is built
// without libxcb (the search for other processes using the database then
// stands alone).

#include <memory>
#include <string>

#include "platform/MainApplicationProbe.h"

namespace mivotra {

std::unique_ptr<MainApplicationProbe> MakeWindowProbe(const std::string& windowClass);

}  // namespace mivotra
