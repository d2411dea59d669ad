#include "platform/sdl/quadBatch.h"

#include <algorithm>
#include <cstddef>

namespace tumbla {

namespace {

enum attribute : GLuint { positionAttribute = 0, texCoordAttribute = 1, colourAttribute = 2, slotAttribute = 3 };

const char* const vertexSource = R"(#version 120
attribute vec2 position;
attribute vec2 texCoord;
attribute vec4 colour;
attribute float slot;
uniform vec2 viewSize;
varying vec2 uv;
varying vec4 tintColour;
varying float textureSlot;
void main() {
    gl_Position = vec4(position.x * 2.0 / viewSize.x - 1.0, 1.0 - position.y * 2.0 / viewSize.y, 0.0, 1.0);
    uv = texCoord;
    tintColour = vec4(colour.rgb * colour.a, colour.a);
    textureSlot = slot;
}
)";

// Textures hold premultiplied colour (the mask makes transparent texels
// black), so filtering never pulls a dark fringe into the edges; the tint is
// premultiplied in the vertex stage and blending is ONE, ONE_MINUS_SRC_ALPHA,
// which is source * alpha + destination * (1 - alpha) for the caller.
const char* const fragmentSource = R"(#version 120
uniform sampler2D textures[8];
varying vec2 uv;
varying vec4 tintColour;
varying float textureSlot;
void main() {
    vec4 texel;
    if (textureSlot < 0.5) texel = texture2D(textures[0], uv);
    else if (textureSlot < 1.5) texel = texture2D(textures[1], uv);
    else if (textureSlot < 2.5) texel = texture2D(textures[2], uv);
    else if (textureSlot < 3.5) texel = texture2D(textures[3], uv);
    else if (textureSlot < 4.5) texel = texture2D(textures[4], uv);
    else if (textureSlot < 5.5) texel = texture2D(textures[5], uv);
    else if (textureSlot < 6.5) texel = texture2D(textures[6], uv);
    else texel = texture2D(textures[7], uv);
    gl_FragColor = texel * tintColour;
}
)";

GLuint compile(const glFunctions& gl, GLenum kind, const char* source, std::string& error) {
    GLuint shader = gl.createShader(kind);
    gl.shaderSource(shader, 1, &source, nullptr);
    gl.compileShader(shader);
    GLint ok = GL_FALSE;
    gl.getShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == GL_TRUE) return shader;
    char log[1024] = {};
    gl.getShaderInfoLog(shader, sizeof log, nullptr, log);
    error = std::string("shader does not compile: ") + log;
    gl.deleteShader(shader);
    return 0;
}

}  // namespace

void frameRecord::clear() {
    vertexList.clear();
    segmentList.clear();
}

int frameRecord::slotFor(GLuint texture) {
    if (!segmentList.empty()) {
        drawSegment& last = segmentList.back();
        for (int i = 0; i < last.textureCount; ++i)
            if (last.textures[i] == texture) return i;
        if (last.textureCount < texturesPerCall) {
            last.textures[last.textureCount] = texture;
            return last.textureCount++;
        }
    }
    drawSegment next;
    next.first = static_cast<int>(vertexList.size());
    next.textures[0] = texture;
    next.textureCount = 1;
    segmentList.push_back(next);
    return 0;
}

void frameRecord::addQuad(GLuint texture, const quadPoint (&corners)[4], const quadPoint (&uv)[4], tint colour) {
    const float slot = static_cast<float>(slotFor(texture));
    // Two triangles: 0 1 2 and 0 2 3.
    static constexpr int order[6] = {0, 1, 2, 0, 2, 3};
    for (int i : order) {
        vertexList.push_back({static_cast<float>(corners[i].x), static_cast<float>(corners[i].y),
                              static_cast<float>(uv[i].x), static_cast<float>(uv[i].y), colour.red,
                              colour.green, colour.blue, colour.alpha, slot});
    }
    segmentList.back().count += 6;
}

bool quadRenderer::init(const glFunctions& functions, std::string& error) {
    gl = &functions;
    GLuint vertex = compile(functions, GL_VERTEX_SHADER, vertexSource, error);
    if (vertex == 0) return false;
    GLuint fragment = compile(functions, GL_FRAGMENT_SHADER, fragmentSource, error);
    if (fragment == 0) {
        functions.deleteShader(vertex);
        return false;
    }
    program = functions.createProgram();
    functions.attachShader(program, vertex);
    functions.attachShader(program, fragment);
    functions.bindAttribLocation(program, positionAttribute, "position");
    functions.bindAttribLocation(program, texCoordAttribute, "texCoord");
    functions.bindAttribLocation(program, colourAttribute, "colour");
    functions.bindAttribLocation(program, slotAttribute, "slot");
    functions.linkProgram(program);
    functions.deleteShader(vertex);
    functions.deleteShader(fragment);
    GLint ok = GL_FALSE;
    functions.getProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[1024] = {};
        functions.getProgramInfoLog(program, sizeof log, nullptr, log);
        error = std::string("shader program does not link: ") + log;
        functions.deleteProgram(program);
        program = 0;
        return false;
    }
    functions.useProgram(program);
    viewSizeLocation = functions.getUniformLocation(program, "viewSize");
    GLint units[texturesPerCall];
    for (int i = 0; i < texturesPerCall; ++i) units[i] = i;
    functions.uniform1iv(functions.getUniformLocation(program, "textures"), texturesPerCall, units);

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    for (GLuint a : {positionAttribute, texCoordAttribute, colourAttribute, slotAttribute})
        functions.enableVertexAttribArray(a);
    return true;
}

void quadRenderer::draw(const frameRecord& frame, int viewWidth, int viewHeight) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (frame.vertices().empty()) return;
    gl->useProgram(program);
    gl->uniform2f(viewSizeLocation, static_cast<float>(viewWidth), static_cast<float>(viewHeight));
    const quadVertex* base = frame.vertices().data();
    const GLsizei stride = sizeof(quadVertex);
    gl->vertexAttribPointer(positionAttribute, 2, GL_FLOAT, GL_FALSE, stride, &base->x);
    gl->vertexAttribPointer(texCoordAttribute, 2, GL_FLOAT, GL_FALSE, stride, &base->u);
    gl->vertexAttribPointer(colourAttribute, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, &base->red);
    gl->vertexAttribPointer(slotAttribute, 1, GL_FLOAT, GL_FALSE, stride, &base->slot);
    for (const drawSegment& segment : frame.segments()) {
        for (int i = 0; i < segment.textureCount; ++i) {
            gl->activeTexture(GL_TEXTURE0 + i);
            glBindTexture(GL_TEXTURE_2D, segment.textures[i]);
        }
        glDrawArrays(GL_TRIANGLES, segment.first, segment.count);
    }
    gl->activeTexture(GL_TEXTURE0);
}

}  // namespace tumbla
