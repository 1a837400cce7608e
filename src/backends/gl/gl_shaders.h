#pragma once
// Shaders that stand in for the Direct3D 9 fixed-function pipeline: per-vertex lighting with
// one directional light in camera space, then texture stage 0 and the specular sum.
// Implements: emissive, ambient, diffuse and halfway-vector specular lighting of meshes,
// pre-transformed vertices, stage 0's disable, select, modulate, modulate 2x and add on the
// diffuse, current and texture arguments, and the font's pictures. Not implemented: other
// lights, fog, the alpha test, other stage operations (they modulate) and arguments (they read
// the diffuse colour).
namespace backends::gl::shaders {

inline constexpr const char* kLitVertex = R"(#version 330 core
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in vec2 inUv;
uniform mat4 world;
uniform mat4 view;
uniform mat4 projection;
uniform bool lighting;
uniform bool specularEnable;
uniform bool lightOn;
uniform vec3 lightDirection;   // camera space, towards where the light shines
uniform vec4 lightDiffuse;
uniform vec4 lightSpecular;
uniform vec4 lightAmbient;
uniform vec4 materialDiffuse;
uniform vec4 materialAmbient;
uniform vec4 materialSpecular;
uniform vec4 materialEmissive;
uniform float materialPower;
out vec4 diffuseColour;
out vec3 specularColour;
out vec2 uv;
void main() {
    mat4 worldView = view * world;
    vec4 cameraPosition = worldView * vec4(inPosition, 1.0);
    gl_Position = projection * cameraPosition;
    // Direct3D's depth range is 0..1, OpenGL's -1..1.
    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
    uv = inUv;
    if (!lighting) {
        diffuseColour = vec4(1.0);
        specularColour = vec3(0.0);
        return;
    }
    vec3 colour = materialEmissive.rgb + materialAmbient.rgb * (lightOn ? lightAmbient.rgb : vec3(0.0));
    vec3 specular = vec3(0.0);
    if (lightOn) {
        vec3 n = normalize(mat3(worldView) * inNormal);
        vec3 l = normalize(-lightDirection);
        float nl = dot(n, l);
        if (nl > 0.0) {
            colour += materialDiffuse.rgb * lightDiffuse.rgb * nl;
            if (specularEnable) {
                vec3 h = normalize(normalize(-cameraPosition.xyz) + l);
                float nh = max(dot(n, h), 0.0);
                specular = materialSpecular.rgb * lightSpecular.rgb * pow(nh, materialPower);
            }
        }
    }
    diffuseColour = vec4(clamp(colour, 0.0, 1.0), clamp(materialDiffuse.a, 0.0, 1.0));
    specularColour = clamp(specular, 0.0, 1.0);
}
)";

inline constexpr const char* kPretransformedVertex = R"(#version 330 core
layout(location = 0) in vec4 inPosition;   // x, y in back-buffer pixels, z, rhw
layout(location = 1) in vec4 inColour;
layout(location = 2) in vec2 inUv;
uniform vec2 viewport;
out vec4 diffuseColour;
out vec3 specularColour;
out vec2 uv;
void main() {
    float w = 1.0 / inPosition.w;
    vec2 ndc = vec2(inPosition.x / viewport.x * 2.0 - 1.0, 1.0 - inPosition.y / viewport.y * 2.0);
    gl_Position = vec4(ndc * w, (inPosition.z * 2.0 - 1.0) * w, w);
    diffuseColour = inColour;
    specularColour = vec3(0.0);
    uv = inUv;
}
)";

// Stage 0 with the arguments as Direct3D numbers them: 0 diffuse, 1 current, 2 texture.
inline constexpr const char* kFragment = R"(#version 330 core
in vec4 diffuseColour;
in vec3 specularColour;
in vec2 uv;
uniform sampler2D stageTexture;
uniform bool hasTexture;
uniform int colourOp;
uniform int colourArg1;
uniform int colourArg2;
uniform int alphaOp;
uniform int alphaArg1;
uniform int alphaArg2;
uniform bool addSpecular;
out vec4 fragColour;
vec4 argument(int which, vec4 texel) {
    if (which == 2) return texel;
    return diffuseColour;   // diffuse, and current, which at stage 0 is the diffuse colour
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
    // Without a texture, sampling reads opaque white.
    vec4 texel = hasTexture ? texture(stageTexture, uv) : vec4(1.0);
    vec3 colour = operation(colourOp, argument(colourArg1, texel), argument(colourArg2, texel)).rgb;
    float alpha = operation(alphaOp, argument(alphaArg1, texel), argument(alphaArg2, texel)).a;
    // A disabled colour operation disables the whole stage, its alpha operation too: stage 0
    // then passes the diffuse colour on.
    if (colourOp == 1) {
        colour = diffuseColour.rgb;
        alpha = diffuseColour.a;
    }
    if (addSpecular) colour = clamp(colour + specularColour, 0.0, 1.0);
    fragColour = vec4(colour, alpha);
}
)";

// Text: a picture of the text, blended over the scene.
inline constexpr const char* kTextVertex = R"(#version 330 core
layout(location = 0) in vec2 inPosition;
layout(location = 1) in vec2 inUv;
uniform vec2 viewport;
out vec2 uv;
void main() {
    gl_Position = vec4(inPosition.x / viewport.x * 2.0 - 1.0, 1.0 - inPosition.y / viewport.y * 2.0, 0.0, 1.0);
    uv = inUv;
}
)";

inline constexpr const char* kTextFragment = R"(#version 330 core
in vec2 uv;
uniform sampler2D glyphs;
out vec4 fragColour;
void main() { fragColour = texture(glyphs, uv); }
)";

}  // namespace backends::gl::shaders
