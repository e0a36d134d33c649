#include "update/Dialogs.h"

#include "res/Texts.h"

namespace mivotra {

void ShowAppMessage(Dialogs& dialogs, std::string_view text) {
  dialogs.ShowMessage(text, texts::DisplayName, MessageIcon::Exclamation);
}

}  // namespace mivotra
