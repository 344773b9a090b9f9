// Shared part of the panel terrain effects. A pack draws up to four ground textures over the
// terrain surface of one segment, blended by the four weights (0..255) of a vertex, which arrive
// in the colour element: slot 0 in blue, 1 in green, 2 in red, 3 in alpha (the bytes of the
// 32-bit weight value, low byte first).
//
// Texture coordinates come from the position: (x, z) * TexScaling[k] + TexOffset[k], where the
// segment's offset carries its corner, so the pattern continues across segments and packs.
//
// The first pack of a segment (BlendingEnabled 0) draws opaque with the weighted sum of its
// textures; every later pack adds its weighted sum on top (technique "TerrainBlend"). Since the
// weights of all packs at a vertex add up to 255, the sum over the packs is the blend of all
// textures, without seams between textures of different packs.
//
// Light: the layout's global light when one exists, else the catalogue preview's defaults.

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;
float3 CameraPosition : CAMERAPOSITION = {0, 1000, -1500};
float3 LightPosition : LIGHTPOSITION = {1000, 1000, -500};
float LightRadius : LIGHTRADIUS = 10000;
float3 SceneAmbient : SCENEAMBIENT = {0.5, 0.5, 0.5};
float3 LightDiffuse : LIGHTDIFFUSE = {0.7, 0.7, 0.7};

float TexScaling[4] = {0.015, 0.015, 0.015, 0.015};
float2 TexOffset[4] = {0, 0, 0, 0, 0, 0, 0, 0};
float BlendingEnabled = 0;

texture TileMap0;
sampler2D TileSampler0 { Texture = TileMap0; MinFilter = Linear; MagFilter = Linear; MipFilter = Linear; AddressU = Wrap; AddressV = Wrap; };
#ifdef HAS_TILE1
texture TileMap1;
sampler2D TileSampler1 { Texture = TileMap1; MinFilter = Linear; MagFilter = Linear; MipFilter = Linear; AddressU = Wrap; AddressV = Wrap; };
#endif
#ifdef HAS_TILE2
texture TileMap2;
sampler2D TileSampler2 { Texture = TileMap2; MinFilter = Linear; MagFilter = Linear; MipFilter = Linear; AddressU = Wrap; AddressV = Wrap; };
#endif
#ifdef HAS_TILE3
texture TileMap3;
sampler2D TileSampler3 { Texture = TileMap3; MinFilter = Linear; MagFilter = Linear; MipFilter = Linear; AddressU = Wrap; AddressV = Wrap; };
#endif

glsl {
  vec3 TerrainLight(vec3 colour, vec3 worldPosition, vec3 worldNormal) {
    vec3 n = length(worldNormal) > 0.0 ? normalize(worldNormal) : vec3(0, 1, 0);
    vec3 toLight = LightPosition - worldPosition;
    float lightDistance = length(toLight);
    vec3 l = lightDistance > 0.0 ? toLight / lightDistance : n;
    float range = LightRadius > 0.0 ? lightDistance / LightRadius : 0.0;
    float attenuation = clamp(1.0 - range * range, 0.0, 1.0);
    float lambert = max(dot(n, l), 0.0);
    return colour * (SceneAmbient + LightDiffuse * lambert * attenuation);
  }
}

vertexshader TerrainVS {
  in vec3 vPosition;
  in vec3 vNormal;
  in vec4 vColor0;
  out vec3 worldPosition;
  out vec3 worldNormal;
  out vec2 planar;
  out vec4 weights;
  void main() {
    vec4 p = vec4(vPosition, 1) * World;
    worldPosition = p.xyz;
    worldNormal = (vec4(vNormal, 0) * World).xyz;
    planar = vPosition.xz;
    weights = vec4(vColor0.b, vColor0.g, vColor0.r, vColor0.a);
    gl_Position = p * ViewProjection;
  }
}

pixelshader TerrainPS {
  in vec3 worldPosition;
  in vec3 worldNormal;
  in vec2 planar;
  in vec4 weights;
  out vec4 fragment;
  void main() {
    vec3 colour = weights.x * texture(TileSampler0, planar * TexScaling[0] + TexOffset[0]).rgb;
#ifdef HAS_TILE1
    colour += weights.y * texture(TileSampler1, planar * TexScaling[1] + TexOffset[1]).rgb;
#endif
#ifdef HAS_TILE2
    colour += weights.z * texture(TileSampler2, planar * TexScaling[2] + TexOffset[2]).rgb;
#endif
#ifdef HAS_TILE3
    colour += weights.w * texture(TileSampler3, planar * TexScaling[3] + TexOffset[3]).rgb;
#endif
    fragment = vec4(TerrainLight(colour, worldPosition, worldNormal), 1);
  }
}

technique Terrain {
  pass P0 {
    VertexShader = TerrainVS;
    PixelShader = TerrainPS;
    CullMode = None;
  }
}

technique TerrainBlend {
  pass P0 {
    VertexShader = TerrainVS;
    PixelShader = TerrainPS;
    CullMode = None;
    AlphaBlendEnable = true;
    SrcBlend = One;
    DestBlend = One;
    ZWriteEnable = false;
    ZFunc = LessEqual;
  }
}
