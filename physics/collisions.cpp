#include "app/editorState.h"

namespace tumbla {

void editorState::collisionPasses() {}
void editorState::collideBallLink(ball*, link*) {}
void editorState::collideBalls(ball*, ball*) {}

}  // namespace tumbla
