#include "app/editorState.h"

namespace tumbla {

void editorState::drawFigure() {}
void ball::drawBall() {}
void link::drawLink() {}
void drawItem::setKey() {}
int drawItem::compare(const drawItem&) const { return -1; }
void drawItem::draw() {}

}  // namespace tumbla
