#include "app/editorState.h"

namespace tumbla {

void ball::project() {}
bool link::containsPoint(double, double) const { return false; }
void drawItem::setKey() {}
int drawItem::compare(const drawItem&) const { return -1; }
void drawItem::draw() {}

}  // namespace tumbla
