#include "app/editorState.h"

namespace tumbla {

void editorState::handleToolbarCommands() { enforceDrawWhenEmpty(); }
void editorState::toggleMode() {}
void editorState::clampValues() {}

}  // namespace tumbla
