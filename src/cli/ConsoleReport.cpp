#include "cli/ConsoleReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "base/Translate.h"
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
  const auto line = [](const std::string& text) { return "mivotra-patch: " + text + "\n"; };
  std::string settings = looked.settingsFile;
  if (!looked.settingsUnusable.empty()) {
    settings = Format(Tr("mivotra-patch", "%1 (not used: %2)"),
                      {looked.settingsFile, looked.settingsUnusable});
  } else if (!looked.settingsFileExists) {
    settings = Format(Tr("mivotra-patch", "%1 (there is none)"), {looked.settingsFile});
  } else if (!looked.settingsHoldDatabase) {
    settings =
        Format(Tr("mivotra-patch", "%1 (it has no [DATABASE] group)"), {looked.settingsFile});
  }
  std::string text = line(Tr("mivotra-patch", "no database could be opened."));
  text += line(Format(Tr("mivotra-patch", "  settings file: %1"), {settings}));
  if (looked.tried.empty()) {
    text += line(Tr("mivotra-patch", "  no database file is named"));
  } else {
    text += line(Format(looked.givenOnCommandLine
                            ? Tr("mivotra-patch", "  tried: %1 (from --database)")
                            : Tr("mivotra-patch", "  tried: %1 (from the settings)"),
                        {looked.tried}));
    text += line(Format(Tr("mivotra-patch", "  reason: %1"),
                        {!looked.found ? Tr("mivotra-patch", "there is no file at that path")
                         : looked.reason.empty() ? Tr("mivotra-patch", "it could not be opened")
                                                 : looked.reason}));
  }
  text += line(Tr("mivotra-patch", "name the database with --database FILE (see --help)."));
  return text;
}

}  // namespace mivotra
