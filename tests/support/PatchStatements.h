#pragma once
// The update's statements in the order a full run executes them, taken from
// the patch itself so that engine tests run exactly what the update hands over.

#include <string>
#include <vector>

#include "res/Texts.h"
#include "update/PatchScript.h"

namespace mivotra::test {

inline std::vector<std::string> AllPatchStatements() {
  std::vector<std::string> statements;
  for (const auto& group :
       PatchGroups({std::string(texts::UpdateItem1), std::string(texts::UpdateItem2)}))
    statements.insert(statements.end(), group.statements.begin(), group.statements.end());
  return statements;
}

}  // namespace mivotra::test
