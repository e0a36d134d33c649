#pragma once
// The program's Japanese texts: l10n/mivotra_ja.ts, compiled by lrelease at
// build time into the program's resources.

namespace mivotra::l10n {

// Hands base/Translate.h's Tr the compiled translations; every program calls
// it first thing. The translations are read at the first Japanese text.
void InstallTranslations();

}  // namespace mivotra::l10n
