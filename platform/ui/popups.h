// Pop-up scripting state, shared by the pop-ups and the graph pop-up.
#pragma once

#include "userint.h"

namespace kui {

bool PopupsScripted();
void RecordPopup(ui_test::Popup p);

}  // namespace kui
