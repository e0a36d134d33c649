#pragma once
// Qt's own texts (the file dialog, the edit boxes' menus, the buttons of
// message boxes) in the user's language, from the translations Qt installs.

#include <QLocale>

class QCoreApplication;

namespace mivotra {

// Loads Qt's translations for locale from Qt's translations folder and
// installs them in app; true when there were any for that language.
bool InstallQtTranslations(QCoreApplication& app, const QLocale& locale = QLocale());

}  // namespace mivotra
