#pragma once
// The texts the user is shown about an update: the window's caption, the log
// header, the numbered statement list and the update error window's text.
// Both front ends use them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Attempt.h"
#include "jet/ComError.h"
#include "update/DatabaseConnection.h"
#include "update/Screen.h"

namespace mivotra {

// The failure of a patch whose statements left the version query reading
// `version` (empty: none) rather than the patched version: the database
// keeps its version in a form the statements do not raise (a code column
// without a type, where the text 1.06 sorts above the number 1.07; a
// trigger that drops the new row), and the next run would find it not updated.
ComError VersionNotRaised(const std::string& version);

// The closing box of a patch that went through (or would), then the
// statement list to the clipboard. Out of memory for the list must not take
// the box, which is tried again once rather than left out.
void ReportFinished(Screen& screen, std::string_view text,
                    const std::vector<ExecutedStatement>& statements) noexcept;

// A failed patch: the engine's report (or the unexpected exception's box),
// 更新に失敗しました, the statement being run (the list's last) and the update
// error window.
void ReportPatchFailure(Screen& screen, const std::optional<ComError>& error,
                        const std::vector<ExecutedStatement>& statements);

// The caption that names the database and whether it could be opened.
std::string ConnectionCaption(const ConnectionReport& report);

// The seven opening lines of the log (with two update items), in written order.
std::vector<std::string> LogHeaderLines(const std::vector<std::string>& updateItems);

// "%3d " + statement + "\n" for each record, numbered from 1 by position.
std::string NumberedStatementList(const std::vector<ExecutedStatement>& statements);

// The error report with CR LF line ends, "\r\n\r\n", the statement being run,
// the numbered list and a final "\r\n".
std::string UpdateErrorText(const ComError& error, const std::string& statement,
                            const std::vector<ExecutedStatement>& statements);
// After an unexpected exception: the numbered list and "\r\n".
std::string UpdateErrorText(const std::vector<ExecutedStatement>& statements);

}  // namespace mivotra
