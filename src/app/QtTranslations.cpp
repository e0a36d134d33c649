#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>
#include <QTranslator>

namespace mivotra {

bool InstallQtTranslations(QCoreApplication& app, const QLocale& locale) {
  // qtbase_ja.qm and the like; the translator lives as long as the application.
  auto* translator = new QTranslator(&app);
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  return true;
}

}  // namespace mivotra
