#include "app/editorState.h"

namespace tumbla {

void editorState::saveFile() {}
void editorState::saveFileAs() {}
void editorState::saveOnScreen() {}
void editorState::revertToSaved() {}

}  // namespace tumbla
