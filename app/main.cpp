#include "app/editorState.h"
#include "platform/sdl/sdlPlatform.h"

int main(int argc, char** argv) {
    (void)argc;
    tumbla::sdlPlatform io(argv[0]);
    tumbla::editorState editor(io);
    editor.run();
    return 0;
}
