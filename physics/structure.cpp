#include "app/editorState.h"

namespace tumbla {

void editorState::regroup() {}
void editorState::rebuildTensions(int) {}
void editorState::deleteBall(ball*, int) {}
void editorState::deleteLink(link*) {}
void editorState::deleteVisible() {}
void editorState::clearScene() {}
void editorState::removeStrayBalls() {}

}  // namespace tumbla
