#pragma once
// Shaders that stand in for the Direct3D 9 fixed-function pipeline: per-vertex lighting with
// one directional light in camera space, then texture stage 0 and the specular sum.
// Implements: emissive, ambient, diffuse and halfway-vector specular lighting of meshes,
// pre-transformed vertices, stage 0's disable, select, modulate, modulate 2x and add on the
// diffuse, current and texture arguments, and the font's pictures. Not implemented: other
// lights, fog, the alpha test, other stage operations (they modulate) and arguments (they read
// the diffuse colour).
//
// The mesh and stage programs are built per draw state from the sources below, with a line of
// defines in front: the software renderer pays for every varying of every triangle and for
// every instruction of every vertex, so a state that needs no lighting, no specular or no
// texture leaves them out instead of branching around them.
//   LIGHT          a light shines on the mesh: the normal is read, the diffuse colour varies
//   SPECULAR       the light's highlight is added (only with LIGHT)
//   TEXTURE        stage 0 has a texture: the coordinates are read and passed on
//   VERTEX_COLOUR  pre-transformed vertices bring their own colour (with alpha)
namespace backends::gl::shaders {

inline constexpr const char* kVersion = "#version 330 core\n";

inline constexpr const char* kLitVertex = R"(
layout(location = 0) in vec3 inPosition;
// World, view and projection in one, with Direct3D's 0..1 depth range mapped to OpenGL's.
uniform mat4 worldViewProjection;
#if TEXTURE
layout(location = 2) in vec2 inUv;
out vec2 uv;
#endif
#if LIGHT
layout(location = 1) in vec3 inNormal;
uniform mat4 worldView;
uniform vec3 towardsLight;     // camera space, normalized
uniform vec3 ambientColour;    // emissive plus ambient light on the material
uniform vec3 diffuseProduct;   // material diffuse times light diffuse
out vec3 litColour;
#if SPECULAR
uniform vec3 specularProduct;  // material specular times light specular
uniform float materialPower;
out vec3 specularColour;
#endif
#endif
void main() {
    gl_Position = worldViewProjection * vec4(inPosition, 1.0);
#if TEXTURE
    uv = inUv;
#endif
#if LIGHT
    vec3 n = normalize(mat3(worldView) * inNormal);
    float nl = dot(n, towardsLight);
    vec3 colour = ambientColour;
#if SPECULAR
    vec3 specular = vec3(0.0);
#endif
    if (nl > 0.0) {
        colour += diffuseProduct * nl;
#if SPECULAR
        vec3 cameraPosition = (worldView * vec4(inPosition, 1.0)).xyz;
        vec3 h = normalize(normalize(-cameraPosition) + towardsLight);
        specular = specularProduct * pow(max(dot(n, h), 0.0), materialPower);
#endif
    }
    litColour = clamp(colour, 0.0, 1.0);
#if SPECULAR
    specularColour = clamp(specular, 0.0, 1.0);
#endif
#endif
}
)";

inline constexpr const char* kPretransformedVertex = R"(
layout(location = 0) in vec4 inPosition;   // x, y in back-buffer pixels, z, rhw
layout(location = 1) in vec4 inColour;
layout(location = 2) in vec2 inUv;
uniform vec2 viewport;
out vec4 vertexColour;
out vec2 uv;
void main() {
    float w = 1.0 / inPosition.w;
    vec2 ndc = vec2(inPosition.x / viewport.x * 2.0 - 1.0, 1.0 - inPosition.y / viewport.y * 2.0);
    gl_Position = vec4(ndc * w, (inPosition.z * 2.0 - 1.0) * w, w);
    vertexColour = inColour;
    uv = inUv;
}
)";

// Stage 0 with the arguments as Direct3D numbers them: 0 diffuse, 1 current, 2 texture.
inline constexpr const char* kFragment = R"(
#if VERTEX_COLOUR
in vec4 vertexColour;
#elif LIGHT
in vec3 litColour;
uniform float diffuseAlpha;
#else
uniform vec4 constantDiffuse;   // unlit, or lit with no light: the same for every pixel
#endif
#if SPECULAR
in vec3 specularColour;
#endif
#if TEXTURE
in vec2 uv;
uniform sampler2D stageTexture;
uniform bool hasTexture;
#endif
uniform int colourOp;
uniform int colourArg1;
uniform int colourArg2;
uniform int alphaOp;
uniform int alphaArg1;
uniform int alphaArg2;
out vec4 fragColour;
vec4 diffuseColour() {
#if VERTEX_COLOUR
    return vertexColour;
#elif LIGHT
    return vec4(litColour, diffuseAlpha);
#else
    return constantDiffuse;
#endif
}
vec4 argument(int which, vec4 diffuse, vec4 texel) {
    if (which == 2) return texel;
    return diffuse;   // diffuse, and current, which at stage 0 is the diffuse colour
}
vec4 operation(int op, vec4 a, vec4 b) {
    if (op == 2) return a;          // select argument 1
    if (op == 3) return b;          // select argument 2
    if (op == 4) return a * b;      // modulate
    if (op == 5) return clamp(2.0 * a * b, 0.0, 1.0);
    if (op == 7) return clamp(a + b, 0.0, 1.0);
    return a * b;
}
void main() {
    vec4 diffuse = diffuseColour();
    // Without a texture, sampling reads opaque white.
#if TEXTURE
    vec4 texel = hasTexture ? texture(stageTexture, uv) : vec4(1.0);
#else
    vec4 texel = vec4(1.0);
#endif
    vec3 colour = operation(colourOp, argument(colourArg1, diffuse, texel), argument(colourArg2, diffuse, texel)).rgb;
    float alpha = operation(alphaOp, argument(alphaArg1, diffuse, texel), argument(alphaArg2, diffuse, texel)).a;
    // A disabled colour operation disables the whole stage, its alpha operation too: stage 0
    // then passes the diffuse colour on.
    if (colourOp == 1) {
        colour = diffuse.rgb;
        alpha = diffuse.a;
    }
#if SPECULAR
    colour = clamp(colour + specularColour, 0.0, 1.0);
#endif
    fragColour = vec4(colour, alpha);
}
)";
// Text: a picture of the text, blended over the scene.
inline constexpr const char* kTextVertex = R"(
layout(location = 0) in vec2 inPosition;
layout(location = 1) in vec2 inUv;
uniform vec2 viewport;
out vec2 uv;
void main() {
    gl_Position = vec4(inPosition.x / viewport.x * 2.0 - 1.0, 1.0 - inPosition.y / viewport.y * 2.0, 0.0, 1.0);
    uv = inUv;
}
)";

inline constexpr const char* kTextFragment = R"(
in vec2 uv;
uniform sampler2D glyphs;
out vec4 fragColour;
void main() { fragColour = texture(glyphs, uv); }
)";

}  // namespace backends::gl::shaders
