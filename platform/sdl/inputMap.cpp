// SDL keys and buttons as the editor numbers them.
#include "platform/sdl/sdlPlatform.h"

namespace tumbla {

int virtualKeyCode(SDL_Keycode key) {
    // Letters by the layout's key, so A is where the keyboard says A.
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<int>(key - SDLK_a) + keyA;
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<int>(key - SDLK_0) + 48;
    switch (key) {
    case SDLK_BACKSPACE: return keyBackspace;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return keyReturn;
    case SDLK_ESCAPE: return keyEscape;
    case SDLK_SPACE: return keySpace;
    case SDLK_LEFT: return keyLeft;
    case SDLK_UP: return keyUp;
    case SDLK_RIGHT: return keyRight;
    case SDLK_DOWN: return keyDown;
    case SDLK_DELETE: return keyDelete;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return keyShift;
    case SDLK_LCTRL: return keyLeftControl;
    case SDLK_RCTRL: return keyRightControl;
    default: return -1;
    }
}

int editorButton(int sdlButton) {
    switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 3;
    default: return -1;
    }
}

}  // namespace tumbla
