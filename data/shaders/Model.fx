// The effect of every model sub-mesh (buildings, plants, vehicles, signals, lights...). The
// material generator compiles it once per feature set with these definitions:
//
//   ENABLE_LIGHT               lit by the layout's light (else ENABLE_EXPLICIT_COLOR)
//   ENABLE_EXPLICIT_COLOR      flat colour ExplicitColor (rgb, alpha = opacity)
//   ENABLE_DIFFUSEMAP          colours multiplied by DiffuseMap
//   ENABLE_TEXSCALING          texture coordinates multiplied by TexScaling
//   ENABLE_ALPHATEST           pixels whose alpha (0..255) is below AlphaRef are dropped
//   ENABLE_TRANSPARENCY        blended by alpha times Opacity (lit) or ExplicitColor's alpha
//   ENABLE_ADDITIVE_BLENDING   added to what is behind (light cones)
//   ENABLE_REFLECTION          planar mirror: ReflectionMap mixed in by Reflection
//   ENABLE_ENVIRONMENTMAPPING  EnvironmentMap mixed in by Reflection
//   ENABLE_INSTANCING          the world matrix comes per instance from a second vertex stream
//                              (its rows as vTexCoord4..7) instead of WORLD: one draw for many
//                              equal plants
//
// Every material parameter is declared whatever the definitions, so all materials of the
// effect have the same parameters. The light comes from the layout's global light sources; the
// initial values are the catalogue preview's lighting, so a model is lit before a light exists.

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;
float3 CameraPosition : CAMERAPOSITION = {0, 1000, -1500};
float3 LightPosition : LIGHTPOSITION = {1000, 1000, -500};
float LightRadius : LIGHTRADIUS = 10000;
float3 SceneAmbient : SCENEAMBIENT = {0.5, 0.5, 0.5};
float3 LightDiffuse : LIGHTDIFFUSE = {0.7, 0.7, 0.7};
float3 LightSpecular : LIGHTSPECULAR = {0.8, 0.8, 0.8};

// 1: both sides drawn, 3: counter-clockwise triangles culled (the back faces).
int CullMode = 3;
// A fraction of the depth range, added to the depth of every pixel.
float DepthBias = 0;
// The depth test; off for overlays that must show through the scene (the track contact markers).
bool ZEnable = true;
float3 Ambient = {0.8, 0.8, 0.8};
float3 Diffuse = {0.9, 0.9, 0.9};
float3 Specular = {1, 1, 1};
float SpecularPower = 8;
float4 ExplicitColor = {1, 1, 1, 1};
texture DiffuseMap;
sampler2D DiffuseSampler { Texture = DiffuseMap; MipFilter = Linear; AddressU = Wrap; AddressV = Wrap; };
float2 TexScaling = {1, 1};
int AlphaRef = 0;
float Opacity = 1;
float Reflection = 0;
texture ReflectionMap;
sampler2D ReflectionSampler { Texture = ReflectionMap; MinFilter = Linear; MagFilter = Linear; MipFilter = None;
                              AddressU = Clamp; AddressV = Clamp; };
textureCUBE EnvironmentMap;
samplerCUBE EnvironmentSampler { Texture = EnvironmentMap; MinFilter = Linear; MagFilter = Linear;
                                 AddressU = Clamp; AddressV = Clamp; AddressW = Clamp; };

vertexshader ModelVS {
  in vec3 vPosition;
  in vec3 vNormal;
  in vec2 vTexCoord0;
#ifdef ENABLE_INSTANCING
  in vec4 vTexCoord4;
  in vec4 vTexCoord5;
  in vec4 vTexCoord6;
  in vec4 vTexCoord7;
#endif
  out vec3 worldPosition;
  out vec3 worldNormal;
  out vec2 uv;
  out vec4 clipPosition;
  void main() {
#ifdef ENABLE_INSTANCING
    // The rows arrive as columns of the constructed matrix; transposed, vec4 * world reads as
    // the uniform matrix does.
    mat4 world = transpose(mat4(vTexCoord4, vTexCoord5, vTexCoord6, vTexCoord7));
#else
    mat4 world = World;
#endif
    vec4 p = vec4(vPosition, 1) * world;
    worldPosition = p.xyz;
    worldNormal = (vec4(vNormal, 0) * world).xyz;
#ifdef ENABLE_TEXSCALING
    uv = vTexCoord0 * TexScaling;
#else
    uv = vTexCoord0;
#endif
    clipPosition = p * ViewProjection;
    gl_Position = clipPosition;
  }
}

pixelshader ModelPS {
  in vec3 worldPosition;
  in vec3 worldNormal;
  in vec2 uv;
  in vec4 clipPosition;
  out vec4 fragment;
  void main() {
    vec4 texel = vec4(1);
#ifdef ENABLE_DIFFUSEMAP
    texel = texture(DiffuseSampler, uv);
#endif
#ifdef ENABLE_ALPHATEST
    if (texel.a * 255.0 < float(AlphaRef)) discard;
#endif
    vec3 toEye = CameraPosition - worldPosition;
    float eyeDistance = length(toEye);
    vec3 v = eyeDistance > 0.0 ? toEye / eyeDistance : vec3(0, 1, 0);
    vec3 n = length(worldNormal) > 0.0 ? normalize(worldNormal) : v;
    // Faces seen from behind (both sides drawn) are lit from their visible side.
    if (dot(n, v) < 0.0) n = -n;
#ifdef ENABLE_LIGHT
    vec3 toLight = LightPosition - worldPosition;
    float lightDistance = length(toLight);
    vec3 l = lightDistance > 0.0 ? toLight / lightDistance : n;
    float range = LightRadius > 0.0 ? lightDistance / LightRadius : 0.0;
    float attenuation = clamp(1.0 - range * range, 0.0, 1.0);
    float lambert = max(dot(n, l), 0.0);
    vec3 h = normalize(l + v);
    float shine = lambert > 0.0 ? pow(max(dot(n, h), 0.0), max(SpecularPower, 1.0)) : 0.0;
    // Highlights follow the light's strength (a dim night light makes no glare on roads and
    // roofs) and stay soft: the paint, card and plastic of models are matte.
    float strength = max(LightDiffuse.r, max(LightDiffuse.g, LightDiffuse.b));
    vec3 colour = texel.rgb * (SceneAmbient * Ambient + LightDiffuse * Diffuse * lambert * attenuation) +
                  LightSpecular * Specular * shine * attenuation * strength * 0.3;
    float alpha = texel.a;
#else
    vec3 colour = texel.rgb * ExplicitColor.rgb;
    float alpha = texel.a * ExplicitColor.a;
#endif
#ifdef ENABLE_REFLECTION
    // The mirror image is drawn from the mirrored camera, whose up axis is turned over: the same
    // place on the screen, upside down (targets are stored top-down, clip y already flipped).
    vec2 screen = clipPosition.xy / max(abs(clipPosition.w), 1e-6) * 0.5 + 0.5;
    screen.y = 1.0 - screen.y;
    colour = mix(colour, texture(ReflectionSampler, screen).rgb, clamp(Reflection, 0.0, 1.0));
#else
#ifdef ENABLE_ENVIRONMENTMAPPING
    colour = mix(colour, texture(EnvironmentSampler, reflect(-v, n)).rgb, clamp(Reflection, 0.0, 1.0));
#endif
#endif
#ifdef ENABLE_LIGHT
#ifdef ENABLE_TRANSPARENCY
    // Unlit colours carry the opacity in ExplicitColor's alpha already.
    alpha *= Opacity;
#endif
#endif
    fragment = vec4(colour, alpha);
  }
}

technique Model {
  pass P0 {
    VertexShader = ModelVS;
    PixelShader = ModelPS;
    CullMode = (CullMode);
    DepthBias = (DepthBias);
    ZEnable = (ZEnable);
#ifdef ENABLE_TRANSPARENCY
    AlphaBlendEnable = true;
    SrcBlend = SrcAlpha;
    DestBlend = InvSrcAlpha;
    ZWriteEnable = false;
#else
#ifdef ENABLE_ADDITIVE_BLENDING
    AlphaBlendEnable = true;
    SrcBlend = SrcAlpha;
    DestBlend = One;
    ZWriteEnable = false;
#endif
#endif
  }
}
