#include "app/editorState.h"

namespace tumbla {

void editorState::activateBodies() {}

}  // namespace tumbla
