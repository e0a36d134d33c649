#pragma once
// The version 1.07 patch as data: groups of Jet SQL statements, each group
// optionally guarded by a table whose presence skips it.

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mivotra {

// The version the patch records, as the version query reads it back.
inline constexpr std::string_view kPatchedVersion = "1.07";

struct PatchGroup {
  std::string_view existenceTable;  // empty: the group always runs
  std::vector<std::string> statements;
  bool advanceProgressAfter = false;
  // Its statements change rows of one table, each row on its own, so the
  // engine may take them through the table together.
  bool onePass = false;
};

// The groups in execution order, the comment rows built from the update items.
std::vector<PatchGroup> PatchGroups(const std::vector<std::string>& updateItems);

// "INSERT INTO t_db_ver_comment (...) VALUES (7,'<item>',now() );" with the
// item's name as stored, unescaped.
std::string CommentRowStatement(std::string_view updateItem);

// Walks the groups in order: asks tableExists for each guarded group at the
// moment it starts, hands every statement that runs to execute with its step
// number (1, 2, 3 ... over the statements that run), and calls advance at the
// three progress points, whether or not the group before them ran. A
// one-pass group's statements reach execute together, with the first one's
// step; any other statement alone.
void ForEachPatchStatement(
    const std::vector<std::string>& updateItems,
    const std::function<bool(const std::string& table)>& tableExists,
    const std::function<void(int firstStep, std::span<const std::string> statements)>& execute,
    const std::function<void()>& advance);

}  // namespace mivotra
