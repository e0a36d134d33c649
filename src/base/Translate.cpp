#include "base/Translate.h"

#include <locale.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace mivotra {
namespace {

std::atomic<TranslationLookup> g_lookup{nullptr};

}  // namespace

bool UserLanguageIsJapanese() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::string_view(value).starts_with("ja");
  }
  return false;
}

void SetTranslationLookup(TranslationLookup lookup) {
  g_lookup.store(lookup);
}

std::string Tr(TrLiteral context, TrLiteral source) {
  const TranslationLookup lookup = g_lookup.load();
  if (lookup != nullptr && UserLanguageIsJapanese()) {
    if (std::optional<std::string> translated = lookup(context.text, source.text))
      return std::move(*translated);
  }
  return source.text;
}

std::string ErrorText(int error) {
  if (UserLanguageIsJapanese()) {
    // The C library's Japanese in UTF-8, whatever the user's own codeset:
    // every text of the program is UTF-8.
    static const locale_t japanese =
        newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "ja_JP.UTF-8", static_cast<locale_t>(0));
    if (japanese != static_cast<locale_t>(0)) return strerror_l(error, japanese);
  }
  // English also where the process's locale is set (the window's, by Qt).
  static const locale_t english = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return english != static_cast<locale_t>(0) ? strerror_l(error, english) : std::strerror(error);
}

std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string text;
  text.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '9') {
      const auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (index < args.size()) {
        text += args.begin()[index];
        ++i;
        continue;
      }
    }
    text += pattern[i];
  }
  return text;
}

}  // namespace mivotra
