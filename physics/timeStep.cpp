#include "app/editorState.h"

namespace tumbla {

void editorState::updateEffectiveMasses() {}
void editorState::pinAnchoredBalls() {}
void editorState::applyTensions(int) {}
void editorState::applyLinks() {}
void editorState::physicsStep() {}
void tension::apply(int, double) {}
void ball::deriveVelocity(double) {}

}  // namespace tumbla
