#include "app/editorState.h"

namespace tumbla {

void editorState::drawFigure() {}
void ball::drawBall() {}
void link::drawLink() {}

}  // namespace tumbla
