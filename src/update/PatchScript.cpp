#include "update/PatchScript.h"

namespace mivotra {
namespace {

// The version id appears inside the t_db_ver statement and in every comment
// row; both must stay equal.
constexpr std::string_view kVersionId = "7";

constexpr std::string_view kCreateNexco =
    "CREATE TABLE t_expense_nexco_riyou (ExpenseNexcoRiyouID\tautoincrement(1, 1) PRIMARY KEY,"
    "LowerKingaku\t\t\tINTEGER NOT NULL,UpperKingaku\t\t\tINTEGER NOT NULL,ExpenseNexcoRate\t\tDOUBLE NOT NULL,"
    "CreateDateTime\t\t\tDATETIME NOT NULL,UpdateDateTime\t\t\tDATETIME DEFAULT NULL);";
constexpr std::string_view kNexcoLowerIndex =
    "CREATE UNIQUE INDEX idx_xpnsnxcry_lowerkingaku ON t_expense_nexco_riyou (LowerKingaku);";
constexpr std::string_view kNexcoUpperIndex =
    "CREATE UNIQUE INDEX idx_xpnsnxcry_upperkingaku ON t_expense_nexco_riyou (UpperKingaku);";
constexpr std::string_view kNexcoSeedRow =
    "INSERT INTO t_expense_nexco_riyou ( ExpenseNexcoRiyouID, LowerKingaku, UpperKingaku, ExpenseNexcoRate, "
    "CreateDateTime) VALUES ( 1, 0, 99999999, 0.0, now());";
constexpr std::string_view kCreateSofuSyukin =
    "CREATE TABLE t_sofu_syukin_code (SofuSyukinCodeID\tautoincrement(1, 1) PRIMARY KEY,"
    "SofuID\t\t\t\tINTEGER NOT NULL CONSTRAINT FK_SOFUSYUKINCODE_SOFUID REFERENCES t_sofu ( SofuID ),"
    "SofuSyukinCode\t\tVARCHAR(020) NOT NULL,CreateDateTime\t\tDATETIME NOT NULL,"
    "UpdateDateTime\t\tDATETIME DEFAULT NULL);";
constexpr std::string_view kSofuSyukinCodeIndex =
    "CREATE INDEX idx_sofusyukincode_sofusyukincode ON t_sofu_syukin_code (SofuSyukinCode);";
constexpr std::string_view kSofuSyukinSofuIdIndex =
    "CREATE UNIQUE INDEX idx_sofusyukincode_sofuid ON t_sofu_syukin_code (SofuID);";
constexpr std::string_view kKumiRateType =
    "UPDATE t_kumi_rate SET KumiRateTypeID = 1 WHERE KodanID = 2 AND KumiRateTypeID <> 1;";
constexpr std::string_view kKumiUpperRateType =
    "UPDATE t_kumi_rate SET KumiUpperRateTypeID = KumiLowerRateTypeID WHERE KodanID = 2 AND "
    "KumiUpperRateTypeID <> KumiLowerRateTypeID;";
constexpr std::string_view kVersionRow =
    "INSERT INTO t_db_ver (DBVerID,DBVerCode,DBPatchDate,UpdateDateTime ) VALUES (7,1.07,#2009/11/04#,now() );";
constexpr std::string_view kCreateVersionComment =
    "CREATE TABLE t_db_ver_comment (DBVerCommentID\t\tautoincrement(1, 1) PRIMARY KEY,"
    "DBVerID\t\t\tINTEGER NOT NULL CONSTRAINT FK_VERCOMMENT_DBVERID REFERENCES t_db_ver (DBVerID),"
    "DBVerComment\t\tVARCHAR(255),UpdateDateTime\t\tDATETIME );";

}  // namespace

std::string CommentRowStatement(std::string_view updateItem) {
  std::string statement =
      "INSERT INTO t_db_ver_comment (DBVerID,DBVerComment,UpdateDateTime ) VALUES (";
  statement += kVersionId;
  statement += ",'";
  statement += updateItem;
  statement += "',now() );";
  return statement;
}

std::vector<PatchGroup> PatchGroups(const std::vector<std::string>& updateItems) {
  std::vector<PatchGroup> groups;
  groups.push_back({"t_expense_nexco_riyou",
                    {std::string(kCreateNexco), std::string(kNexcoLowerIndex),
                     std::string(kNexcoUpperIndex), std::string(kNexcoSeedRow)}});
  groups.push_back({"t_sofu_syukin_code",
                    {std::string(kCreateSofuSyukin), std::string(kSofuSyukinCodeIndex),
                     std::string(kSofuSyukinSofuIdIndex)},
                    true});
  groups.push_back({{}, {std::string(kKumiRateType), std::string(kKumiUpperRateType)}, true, true});
  groups.push_back({{}, {std::string(kVersionRow)}});
  groups.push_back({"t_db_ver_comment", {std::string(kCreateVersionComment)}});
  PatchGroup comments;
  for (const auto& item : updateItems) comments.statements.push_back(CommentRowStatement(item));
  comments.advanceProgressAfter = true;
  groups.push_back(std::move(comments));
  return groups;
}

void ForEachPatchStatement(
    const std::vector<std::string>& updateItems,
    const std::function<bool(const std::string& table)>& tableExists,
    const std::function<void(int firstStep, std::span<const std::string> statements)>& execute,
    const std::function<void()>& advance) {
  int step = 1;
  for (const auto& group : PatchGroups(updateItems)) {
    const bool skip =
        !group.existenceTable.empty() && tableExists(std::string(group.existenceTable));
    if (skip) {
    } else if (group.onePass) {
      execute(step, group.statements);
      step += static_cast<int>(group.statements.size());
    } else {
      for (const auto& statement : group.statements) execute(step++, {&statement, 1});
    }
    if (group.advanceProgressAfter) advance();
  }
}

}  // namespace mivotra
