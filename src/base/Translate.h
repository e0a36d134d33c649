#pragma once
// The program's own texts (everything it says in its own voice, not the
// original's texts) in the user's language: Japanese when the locale is
// Japanese, English otherwise. Every layer calls Tr, the engine too; the
// translations themselves come from the program's start (l10n/), which hands
// Tr the lookup, so this layer stays free of Qt. lupdate reads every
// Tr("context", "text") call of src/ into l10n/mivotra_ja.ts.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace mivotra {

// A string literal: what lupdate cannot read, it cannot translate, so a text
// computed at run time does not compile as a source.
struct TrLiteral {
  consteval TrLiteral(const char* literal) : text(literal) {}
  const char* text;
};

// The language of the messages by the POSIX precedence: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty decides; Japanese when it
// begins with "ja". The locale itself is never set (the engine's number
// formats must not change with it), so only these variables count.
bool UserLanguageIsJapanese();

// The Japanese of `source` in `context`, or nullopt when there is none.
using TranslationLookup = std::optional<std::string> (*)(const char* context, const char* source);
// Set once at the program's start, before any thread; nullptr leaves English.
void SetTranslationLookup(TranslationLookup lookup);

// `source` (English, UTF-8) in the user's language: its translation when the
// language is Japanese and there is one, else `source` itself.
std::string Tr(TrLiteral context, TrLiteral source);

// The system's text for an errno value in the user's language, as the C
// library gives it: Japanese when the ja_JP.UTF-8 locale is there to give
// it, else English.
std::string ErrorText(int error);

// `pattern` with %1 ... %9 replaced by the arguments in one pass (an argument
// that holds "%2" stays as it is); a translation may reorder them.
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace mivotra
