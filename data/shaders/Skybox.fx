// One face of the sky around the camera. The box is only a few metres wide, so it is drawn at
// the far end of the depth range (z = w after the projection), without writing depth and with
// the depth test LESS-EQUAL: the whole scene, however far, lies in front of it. Vertices at the
// horizon carry alpha 0; there the texture fades into the sky colour, the view's background.
// The textures are painted for a day sky; the sky colour of the light's preset tints them, so a
// night preset darkens the sky as well.

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;

float4 SkyColor = {0.784, 0.882, 0.98, 1};
texture DiffuseMap;
sampler2D DiffuseSampler { Texture = DiffuseMap; MinFilter = Linear; MagFilter = Linear; MipFilter = Linear;
                           AddressU = Clamp; AddressV = Clamp; };

vertexshader SkyboxVS {
  in vec3 vPosition;
  in vec4 vColor0;
  in vec2 vTexCoord0;
  out vec2 uv;
  out float height;
  void main() {
    uv = vTexCoord0;
    height = vColor0.a;
    vec4 p = vec4(vPosition, 1) * World * ViewProjection;
    gl_Position = p.xyww;
  }
}

pixelshader SkyboxPS {
  in vec2 uv;
  in float height;
  out vec4 fragment;
  void main() {
    vec3 day = vec3(0.784, 0.882, 0.98);
    vec3 tint = clamp(SkyColor.rgb / day, 0.0, 1.5);
    vec3 sky = texture(DiffuseSampler, uv).rgb * tint;
    // Close to the horizon the picture gives way to the plain sky colour.
    float fade = smoothstep(0.0, 0.35, height);
    fragment = vec4(mix(SkyColor.rgb, sky, fade), 1);
  }
}

technique Skybox {
  pass P0 {
    VertexShader = SkyboxVS;
    PixelShader = SkyboxPS;
    CullMode = CCW;
    ZEnable = true;
    ZWriteEnable = false;
    ZFunc = LessEqual;
  }
}
