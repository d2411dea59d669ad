#include "app/editorState.h"

namespace tumbla {

void ball::project() {}
bool link::containsPoint(double, double) const { return false; }

}  // namespace tumbla
