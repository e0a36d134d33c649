#pragma once
// Out of memory for the C++ side of the program: operator new failing once,
// so that a std::bad_alloc rises from wherever the program next allocates.
// Only test executables that compile FailingNew.cpp have it.

namespace mivotra::test {

// The nth operator new from now throws std::bad_alloc; every other succeeds.
void FailNthNew(int nth = 1);
// Nothing fails any more.
void StopFailingNew();
// Whether the armed failure has happened.
bool NewHasFailed();

}  // namespace mivotra::test
