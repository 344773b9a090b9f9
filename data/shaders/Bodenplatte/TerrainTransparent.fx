// The terrain surface of a transparent panel: a pale, lit glass through which what lies below the
// board can be seen (and selected). Stream 0 only (position and normal).

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;
float3 LightPosition : LIGHTPOSITION = {1000, 1000, -500};
float LightRadius : LIGHTRADIUS = 10000;
float3 SceneAmbient : SCENEAMBIENT = {0.5, 0.5, 0.5};
float3 LightDiffuse : LIGHTDIFFUSE = {0.7, 0.7, 0.7};

float3 SurfaceColor = {0.62, 0.74, 0.58};
float Alpha = 0.35;

vertexshader TransparentVS {
  in vec3 vPosition;
  in vec3 vNormal;
  out vec3 worldPosition;
  out vec3 worldNormal;
  void main() {
    vec4 p = vec4(vPosition, 1) * World;
    worldPosition = p.xyz;
    worldNormal = (vec4(vNormal, 0) * World).xyz;
    gl_Position = p * ViewProjection;
  }
}

pixelshader TransparentPS {
  in vec3 worldPosition;
  in vec3 worldNormal;
  out vec4 fragment;
  void main() {
    vec3 n = length(worldNormal) > 0.0 ? normalize(worldNormal) : vec3(0, 1, 0);
    vec3 toLight = LightPosition - worldPosition;
    float lightDistance = length(toLight);
    vec3 l = lightDistance > 0.0 ? toLight / lightDistance : n;
    float range = LightRadius > 0.0 ? lightDistance / LightRadius : 0.0;
    float attenuation = clamp(1.0 - range * range, 0.0, 1.0);
    float lambert = abs(dot(n, l));
    fragment = vec4(SurfaceColor * (SceneAmbient + LightDiffuse * lambert * attenuation), clamp(Alpha, 0.0, 1.0));
  }
}

technique Transparent {
  pass P0 {
    VertexShader = TransparentVS;
    PixelShader = TransparentPS;
    CullMode = None;
    AlphaBlendEnable = true;
    SrcBlend = SrcAlpha;
    DestBlend = InvSrcAlpha;
    ZWriteEnable = false;
  }
}
