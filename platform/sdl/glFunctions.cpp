#include "platform/sdl/glFunctions.h"

#include <SDL2/SDL.h>

namespace tumbla {

namespace {

template <typename F>
bool lookUp(F& entry, const char* name, std::string& missing) {
    entry = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
    if (entry == nullptr && missing.empty()) missing = name;
    return entry != nullptr;
}

}  // namespace

bool glFunctions::load(std::string& missing) {
    missing.clear();
    lookUp(createShader, "glCreateShader", missing);
    lookUp(shaderSource, "glShaderSource", missing);
    lookUp(compileShader, "glCompileShader", missing);
    lookUp(getShaderiv, "glGetShaderiv", missing);
    lookUp(getShaderInfoLog, "glGetShaderInfoLog", missing);
    lookUp(deleteShader, "glDeleteShader", missing);
    lookUp(createProgram, "glCreateProgram", missing);
    lookUp(attachShader, "glAttachShader", missing);
    lookUp(bindAttribLocation, "glBindAttribLocation", missing);
    lookUp(linkProgram, "glLinkProgram", missing);
    lookUp(getProgramiv, "glGetProgramiv", missing);
    lookUp(getProgramInfoLog, "glGetProgramInfoLog", missing);
    lookUp(deleteProgram, "glDeleteProgram", missing);
    lookUp(useProgram, "glUseProgram", missing);
    lookUp(getUniformLocation, "glGetUniformLocation", missing);
    lookUp(uniform1iv, "glUniform1iv", missing);
    lookUp(uniform2f, "glUniform2f", missing);
    lookUp(activeTexture, "glActiveTexture", missing);
    lookUp(enableVertexAttribArray, "glEnableVertexAttribArray", missing);
    lookUp(vertexAttribPointer, "glVertexAttribPointer", missing);
    return missing.empty();
}

}  // namespace tumbla
