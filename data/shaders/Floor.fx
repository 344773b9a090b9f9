// The ground floor under the layout: a disc whose rim vertices carry alpha 0. The colour is the
// ground texture (tiled over the world, 2 m per repeat) darkened by the light map (spread once
// over the disc) and lit by the layout's light; towards the rim it fades into the sky colour,
// which the view is cleared with, so the floor meets the horizon without an edge.

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;
float3 SceneAmbient : SCENEAMBIENT = {0.5, 0.5, 0.5};
float3 LightDiffuse : LIGHTDIFFUSE = {0.7, 0.7, 0.7};

float4 SkyColor = {0.784, 0.882, 0.98, 1};
texture BaseMap;
sampler2D BaseSampler { Texture = BaseMap; MinFilter = Linear; MagFilter = Linear; MipFilter = Linear;
                        AddressU = Wrap; AddressV = Wrap; };
texture LightMap;
sampler2D LightSampler { Texture = LightMap; MinFilter = Linear; MagFilter = Linear; MipFilter = Linear;
                         AddressU = Clamp; AddressV = Clamp; };

vertexshader FloorVS {
  in vec3 vPosition;
  in vec4 vColor0;
  out vec2 groundUV;
  out vec2 lightUV;
  out float rim;
  void main() {
    vec4 p = vec4(vPosition, 1) * World;
    groundUV = p.xz / 200.0;
    // The disc spans -0.5 .. 0.5 in its own space.
    lightUV = vPosition.xz + vec2(0.5);
    rim = vColor0.a;
    gl_Position = p * ViewProjection;
  }
}

pixelshader FloorPS {
  in vec2 groundUV;
  in vec2 lightUV;
  in float rim;
  out vec4 fragment;
  void main() {
    vec3 ground = texture(BaseSampler, groundUV).rgb * texture(LightSampler, lightUV).rgb;
    vec3 light = clamp(SceneAmbient + LightDiffuse * 0.6, 0.0, 1.0);
    // The outer part of the disc fades softly into the sky: seen at a grazing angle the rim ring
    // alone would be a few pixels wide, so the fade starts at half the radius.
    float radius = length(lightUV - vec2(0.5)) * 2.0;
    float fade = smoothstep(0.0, 1.0, rim) * (1.0 - smoothstep(0.5, 1.0, radius));
    fragment = vec4(mix(SkyColor.rgb, ground * light, fade), 1);
  }
}

technique Floor {
  pass P0 {
    VertexShader = FloorVS;
    PixelShader = FloorPS;
    CullMode = CCW;
    ZEnable = true;
    ZWriteEnable = true;
    ZFunc = LessEqual;
  }
}
