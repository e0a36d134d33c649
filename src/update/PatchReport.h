#pragma once
// The texts the user is shown about an update: the window's caption, the log
// header, the numbered statement list and the update error window's text.
// Both front ends use them.

#include <string>
#include <vector>

#include "jet/ComError.h"
#include "update/DatabaseConnection.h"

namespace mivotra {

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
