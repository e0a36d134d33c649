#include "update/PatchReport.h"

#include <cstdio>

#include "base/Translate.h"
#include "report/ErrorReport.h"
#include "res/Texts.h"
#include "update/Dialogs.h"
#include "update/PatchScript.h"

namespace mivotra {

ComError VersionNotRaised(const std::string& version) {
  const std::string read = version.empty() ? Tr("update", "no version") : "'" + version + "'";
  return ComError(E_Fail, ErrorInfo{std::string(texts::DisplayName),
                                    Format(Tr("update",
                                              "After the update's statements the version query "
                                              "reads %1 instead of '%2', so the database would "
                                              "not count as updated; the update is undone, and "
                                              "the database is as it was before."),
                                           {read, kPatchedVersion})});
}

void ReportFinished(Screen& screen, std::string_view text,
                    const std::vector<ExecutedStatement>& statements) noexcept {
  const auto showBox = [&] {
    screen.ShowMessage(
        text, std::string(texts::UpdateDateLabel) + std::string(texts::UpdateFinishedCaptionSuffix),
        MessageIcon::None);
  };
  if (!Attempt(showBox)) Attempt(showBox);
  Attempt([&] { screen.CopyTextToClipboard(NumberedStatementList(statements)); });
}

void ReportPatchFailure(Screen& screen, const std::optional<ComError>& error,
                        const std::vector<ExecutedStatement>& statements) {
  if (error) {
    // The list ends with the statement that failed (or the last one run,
    // when the commit failed); none when the transaction could not begin.
    const std::string statement = statements.empty() ? std::string() : statements.back().statement;
    ShowAppMessage(screen, FormatComError(*error));
    screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    screen.ShowMessage(statement, texts::DisplayName, MessageIcon::None);
    screen.ShowUpdateError(UpdateErrorText(*error, statement, statements));
  } else {
    ShowAppMessage(screen, texts::UnhandledException);
    screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    screen.ShowUpdateError(UpdateErrorText(statements));
  }
}

std::string ConnectionCaption(const ConnectionReport& report) {
  switch (report.state) {
    case ConnectionReport::State::Opened:
      return std::string(texts::CaptionConnectedPrefix) + std::string(texts::UpdateDateLabel) +
             std::string(texts::CaptionConnectedMiddle) + report.databaseName;
    case ConnectionReport::State::Failed:
      return std::string(texts::CaptionFailedPrefix) + report.databaseName;
    case ConnectionReport::State::NotSelected:
      break;
  }
  return std::string(texts::CaptionNotSelected);
}

std::vector<std::string> LogHeaderLines(const std::vector<std::string>& updateItems) {
  std::vector<std::string> lines;
  lines.emplace_back();
  lines.push_back("**** 更新内容 (" + std::string(texts::UpdateDateLabel) + " 更新) ****");
  lines.emplace_back(48, '-');
  lines.emplace_back();
  lines.insert(lines.end(), updateItems.begin(), updateItems.end());
  lines.emplace_back();
  return lines;
}

std::string NumberedStatementList(const std::vector<ExecutedStatement>& statements) {
  std::string list;
  int position = 0;
  for (const auto& record : statements) {
    char number[16];
    std::snprintf(number, sizeof number, "%3d ", ++position);
    list += number;
    list += record.statement;
    list += '\n';
  }
  return list;
}

std::string UpdateErrorText(const ComError& error, const std::string& statement,
                            const std::vector<ExecutedStatement>& statements) {
  std::string text;
  for (char c : FormatComError(error)) {
    if (c == '\n') text += '\r';
    text += c;
  }
  text += "\r\n\r\n";
  text += statement;
  text += NumberedStatementList(statements);
  text += "\r\n";
  return text;
}

std::string UpdateErrorText(const std::vector<ExecutedStatement>& statements) {
  return NumberedStatementList(statements) + "\r\n";
}

}  // namespace mivotra
