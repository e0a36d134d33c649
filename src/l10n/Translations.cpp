#include "l10n/Translations.h"

#include <QString>
#include <QTranslator>
#include <optional>
#include <string>

#include "base/Translate.h"

namespace mivotra::l10n {
namespace {

// No QCoreApplication here: the console programs have none (it would set the
// process's locale), so the translator is asked directly.
std::optional<std::string> Lookup(const char* context, const char* source) {
  static const QTranslator* const translator = [] {
    auto* loaded = new QTranslator;
    if (!loaded->load(QStringLiteral(":/i18n/mivotra_ja.qm"))) {
      delete loaded;
      return static_cast<QTranslator*>(nullptr);
    }
    return loaded;
  }();
  if (translator == nullptr) return std::nullopt;
  const QString text = translator->translate(context, source);
  if (text.isNull()) return std::nullopt;
  return text.toStdString();
}

}  // namespace

void InstallTranslations() {
  SetTranslationLookup(&Lookup);
}

}  // namespace mivotra::l10n
