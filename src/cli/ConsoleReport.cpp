#include "cli/ConsoleReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "report/ErrorReport.h"

namespace mivotra {
namespace {

QJsonValue Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonValue TextOrNull(const std::optional<std::string>& text) {
  return text ? Text(*text) : QJsonValue(QJsonValue::Null);
}

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Stop:
      return "stop";
    case MessageIcon::Information:
      return "information";
    case MessageIcon::Exclamation:
      return "exclamation";
    case MessageIcon::None:
      break;
  }
  return "none";
}

QJsonValue ErrorObject(const std::optional<ComError>& error) {
  if (!error) return QJsonValue(QJsonValue::Null);
  QJsonObject object;
  object["code"] = QString::fromStdString(ErrorCodeText(error->Error()));
  object["message"] = Text(error->ErrorMessage());
  object["source"] = error->Info() ? Text(error->Source()) : QJsonValue(QJsonValue::Null);
  object["description"] = error->Info() ? Text(error->Description()) : QJsonValue(QJsonValue::Null);
  return object;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Updated:
      return "updated";
    case Outcome::WouldUpdate:
      return "would-update";
    case Outcome::Refused:
      return "refused";
    case Outcome::Failed:
      return "failed";
    case Outcome::NoDatabase:
      return "no-database";
  }
  return "failed";
}

std::string ResultJson(const ConsoleResult& result) {
  QJsonArray statements;
  for (const auto& statement : result.run.statements) {
    QJsonObject entry;
    entry["step"] = static_cast<int>(statement.number);
    entry["sql"] = Text(statement.statement);
    statements.append(entry);
  }
  QJsonArray messages;
  for (const auto& message : result.messages) {
    QJsonObject entry;
    entry["caption"] = Text(message.caption);
    entry["text"] = Text(message.text);
    entry["icon"] = IconName(message.icon);
    messages.append(entry);
  }
  QJsonObject object;
  object["outcome"] = OutcomeName(result.outcome);
  object["exitStatus"] = result.exitStatus;
  object["database"] = TextOrNull(result.database);
  object["versionBefore"] = TextOrNull(result.run.versionBefore);
  object["versionAfter"] = TextOrNull(result.run.versionAfter);
  object["backup"] =
      result.run.backup.empty() ? QJsonValue(QJsonValue::Null) : Text(result.run.backup);
  object["statements"] = statements;
  object["messages"] = messages;
  object["error"] = ErrorObject(result.error);
  const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
  return std::string(json.constData(), static_cast<std::size_t>(json.size())) + "\n";
}

std::string NoDatabaseExplanation(const LookedAt& looked) {
  std::string text = "mivotra-patch: no database could be opened.\n";
  text += "mivotra-patch:   settings file: " + looked.settingsFile;
  if (!looked.settingsUnusable.empty()) {
    text += " (not used: " + looked.settingsUnusable + ")";
  } else if (!looked.settingsFileExists) {
    text += " (there is none)";
  } else if (!looked.settingsHoldDatabase) {
    text += " (it has no [DATABASE] group)";
  }
  text += "\n";
  if (looked.tried.empty()) {
    text += "mivotra-patch:   no database file is named\n";
  } else {
    text += "mivotra-patch:   tried: " + looked.tried +
            (looked.givenOnCommandLine ? " (from --database)\n" : " (from the settings)\n");
    text += "mivotra-patch:   reason: " +
            (!looked.found           ? std::string("there is no file at that path")
             : looked.reason.empty() ? std::string("it could not be opened")
                                     : looked.reason) +
            "\n";
  }
  text += "mivotra-patch: name the database with --database FILE (see --help).\n";
  return text;
}

}  // namespace mivotra
