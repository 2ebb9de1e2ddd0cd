// Pop-up scripting state, shared by the pop-ups and the graph pop-up.
#pragma once

#include "userint.h"

class QWidget;

namespace kui {

QWidget *DialogParent();   // the active window, over which a pop-up opens
bool PopupsScripted();
void RecordPopup(ui_test::Popup p);
// Every pop-up still open (messages, notes, file dialogs, graphs, and what
// they opened themselves) closes as if the person had cancelled it.
void ClosePopups();

}  // namespace kui
