#include "toolbar/toolbarButton.h"

#include "platform/platform.h"

namespace tumbla {

bool toolbarButton::pointerInside() { return false; }
bool toolbarButton::clicked(int) { return false; }
bool toolbarButton::held(int) { return false; }
void toolbarButton::draw() {}
void toolbarButton::place(const std::string&, double, double, double, double, double, double) {}
void toolbarButton::placeCentred(const std::string&, double, double, double) {}

}  // namespace tumbla
