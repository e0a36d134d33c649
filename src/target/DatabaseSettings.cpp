#include "target/DatabaseSettings.h"

#include <sys/stat.h>

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <string>
#include <utility>

#include "base/Translate.h"

namespace mivotra {

namespace {

QString UserSettingsFolder() {
  // The folder QSettings uses for user settings on this platform.
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

// QSettings would wait forever on a FIFO at the name of a file it reads, and
// read a device to its end: such a name holds no settings.
std::string NoRegularFile(const QString& folder) {
  for (const QString& name : {folder + QStringLiteral("/MIVOTRA/MIVOTRA.conf"),
                              folder + QStringLiteral("/MIVOTRA.conf")}) {
    const QByteArray path = QFile::encodeName(name);
    struct stat info = {};
    if (stat(path.constData(), &info) == 0 && !S_ISREG(info.st_mode))
      return Format(Tr("settings", "%1 is not a regular file"), {path.toStdString()});
  }
  return {};
}

// Why the value stored for `key` cannot be taken as its text; empty when it can.
std::string WhyNoText(const char* key, const QVariant& value) {
  const std::string name = std::string("DATABASE/") + key;
  if (!value.isValid()) {
    return Format(Tr("settings", "%1 holds no value QSettings can read, such as @Invalid()"),
                  {name});
  }
  if (value.metaType().id() == QMetaType::QStringList)
    return Format(Tr("settings",
                     "%1 is a list of %2 texts, not one text; a ',' outside double quotes makes "
                     "a list"),
                  {name, std::to_string(value.toStringList().size())});
  if (value.metaType().id() != QMetaType::QString)
    return Format(Tr("settings", "%1 is stored as %2, not as a text"),
                  {name, value.metaType().name()});
  return {};
}

// A NUL ends the value, as it ends a file name or a key.
std::string UpToNul(const QString& text) {
  std::string bytes = text.toStdString();
  if (const std::size_t nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
  return bytes;
}

}  // namespace

std::string DatabaseSettingsFile() {
  return (UserSettingsFolder() + QStringLiteral("/MIVOTRA/MIVOTRA.conf")).toStdString();
}

StoredDatabase ReadDatabaseSettings() {
  StoredDatabase stored;
  const QString folder = UserSettingsFolder();
  stored.unusable = NoRegularFile(folder);
  if (!stored.unusable.empty()) return stored;

  // QSettings fixes the user's folder the first time it is asked for one; the
  // environment may have changed since.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
  // const: no value is ever set, so QSettings never writes the file back, not
  // even when the object goes.
  const QSettings settings(QStringLiteral("MIVOTRA"), QStringLiteral("MIVOTRA"));
  if (!settings.childGroups().contains(QStringLiteral("DATABASE"))) {
    if (settings.status() == QSettings::AccessError)
      stored.unusable = Tr("settings", "QSettings cannot read it");
    return stored;
  }

  const struct {
    const char* key;
    std::string* field;
  } values[] = {
      {"FileName", &stored.FileName},
      {"PathName", &stored.PathName},
      {"Password", &stored.Password},
  };
  for (const auto& value : values) {
    const QString key = QStringLiteral("DATABASE/") + QLatin1String(value.key);
    if (!settings.contains(key)) continue;
    const QVariant read = settings.value(key);
    if (std::string why = WhyNoText(value.key, read); !why.empty()) {
      StoredDatabase none;
      none.unusable = std::move(why);
      return none;
    }
    *value.field = UpToNul(read.toString());
  }
  stored.found = true;
  return stored;
}

}  // namespace mivotra
