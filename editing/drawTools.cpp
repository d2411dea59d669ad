#include "app/editorState.h"

namespace tumbla {

void editorState::handleEditKeys() {}
void editorState::updateHover() {}
void editorState::placeBall() {}
void editorState::updateLinkTool() {}
void editorState::applyMainBallRules() {}

}  // namespace tumbla
