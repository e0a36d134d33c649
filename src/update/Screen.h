#pragma once
// Everything the update procedure shows a user, as one front end provides
// it. The desktop window, the console front end and the tests each implement
// it, so the same procedure serves all of them and runs without a display;
// each part of the procedure takes only the part it needs.

#include "target/CopyProgress.h"
#include "update/Dialogs.h"
#include "update/UpdateEvents.h"

namespace mivotra {

class Screen : public Dialogs, public UpdateEvents, public CopyProgress {};

}  // namespace mivotra
