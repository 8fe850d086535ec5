#pragma once
// The rules of the editor's text fields: the whole text selected on entering, the name upper-
// cased on leaving and held to what one byte per character can carry, and each address field
// telling, by colour and in words, whether it holds an address.
#include "editor/editorcontrols.h"

namespace editor {

void installFieldRules(EditorControls& c);
// A field's accessible name: its caption as shown, and whether the address is not one.
void nameAddressField(QLineEdit* field, const QLabel* caption);

} // namespace editor
