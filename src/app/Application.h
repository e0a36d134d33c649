#pragma once
// The program's whole life: one copy per user; the main window runs until
// the user closes it. main() is only this.

namespace mivotra {

int RunApplication(int argc, char** argv);

}  // namespace mivotra
