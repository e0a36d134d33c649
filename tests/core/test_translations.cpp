// The program's Japanese texts: every Tr of the sources has its translation
// in l10n/mivotra_ja.ts, none is stale, each keeps its placeholders, and the
// compiled file reaches Tr under a Japanese locale.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QXmlStreamReader>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "base/Translate.h"
#include "l10n/Translations.h"

namespace mivotra {
namespace {

QSet<QString> Placeholders(const QString& text) {
  QSet<QString> found;
  static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
  for (const auto& match : placeholder.globalMatch(text)) found.insert(match.captured());
  return found;
}

// What is wrong with the .ts after lupdate has read the sources into it.
std::vector<std::string> Problems(const std::filesystem::path& ts) {
  QFile file(QString::fromStdString(ts.string()));
  if (!file.open(QIODevice::ReadOnly)) return {"cannot read " + ts.string()};
  std::vector<std::string> problems;
  QXmlStreamReader xml(&file);
  QString context, source;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (xml.name() == QLatin1String("source")) {
      source = xml.readElementText();
    } else if (xml.name() == QLatin1String("translation")) {
      const QString type = xml.attributes().value(QStringLiteral("type")).toString();
      const QString translation = xml.readElementText();
      const std::string where = (context + QStringLiteral(": ") + source).toStdString();
      if (!type.isEmpty())
        problems.push_back(
            type.toStdString() + " (" +
            (type == QLatin1String("unfinished") ? "no Japanese" : "no longer in the sources") +
            "): " + where);
      else if (translation.isEmpty())
        problems.push_back("empty: " + where);
      else if (Placeholders(translation) != Placeholders(source))
        problems.push_back("placeholders differ: " + where);
    }
  }
  if (xml.hasError()) problems.push_back("not XML: " + xml.errorString().toStdString());
  return problems;
}

TEST(Translations, EveryTextOfTheSourcesHasItsCurrentJapanese) {
  test::TempDir dir;
  const std::filesystem::path ts = dir / "mivotra_ja.ts";
  std::filesystem::copy_file(MIVOTRA_SOURCE_DIR "/src/l10n/mivotra_ja.ts", ts);
  const std::string command =
      "bash '" MIVOTRA_SOURCE_DIR "/scripts/lupdate.sh' '" + ts.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::vector<std::string> problems = Problems(ts);
  std::string list;
  for (const std::string& problem : problems) list += "\n  " + problem;
  EXPECT_TRUE(problems.empty()) << "run scripts/lupdate.sh and translate:" << list;
}

class Language {
 public:
  explicit Language(const char* lang) {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", lang, 1);
  }
  ~Language() { setenv("LC_ALL", "C.UTF-8", 1); }
};

TEST(Translations, TheCompiledJapaneseReachesTrOnlyUnderAJapaneseLocale) {
  l10n::InstallTranslations();
  {
    Language japanese("ja_JP.UTF-8");
    EXPECT_EQ(Tr("mivotra-patch", "Backing up"), "バックアップ中");
    EXPECT_EQ(Format(Tr("update", "the database is in use: %1"), {"%2 x"}),
              "データベースは使用中です: %2 x");
  }
  Language german("de_DE.UTF-8");
  EXPECT_EQ(Tr("mivotra-patch", "Backing up"), "Backing up");
  // Placeholders are replaced in one pass and in any order; one the
  // arguments do not reach stays as it is.
  EXPECT_EQ(Format("%2 before %1, %3 and 100%", {"a", "b%1"}), "b%1 before a, %3 and 100%");
}

}  // namespace
}  // namespace mivotra
