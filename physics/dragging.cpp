#include "app/editorState.h"

namespace tumbla {

void editorState::grabBall() {}
void editorState::moveHeldBall() {}
void ball::recentre() {}

}  // namespace tumbla
