// The terrain surface in the technical view: a flat light colour with the grid raster of
// RasterMap laid in world space (one repeat of the raster texture per RasterSize cm), so the
// lines continue across segments and panels. BlendEnable 1 (transparent panels) draws it blended
// with Alpha (technique "CADBlend"); otherwise it is opaque ("CAD").

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;

texture RasterMap;
sampler2D RasterSampler { Texture = RasterMap; MinFilter = Linear; MagFilter = Linear; MipFilter = Linear; AddressU = Wrap; AddressV = Wrap; };
float BlendEnable = 0;
float Alpha = 0.7;
float RasterSize = 100;
float3 SurfaceColor = {0.93, 0.95, 0.90};

vertexshader CADVS {
  in vec3 vPosition;
  in vec3 vNormal;
  out vec2 planar;
  void main() {
    vec4 p = vec4(vPosition, 1) * World;
    planar = p.xz;
    gl_Position = p * ViewProjection;
  }
}

pixelshader CADPS {
  in vec2 planar;
  out vec4 fragment;
  void main() {
    vec2 uv = planar / max(RasterSize, 1.0);
    vec3 raster = texture(RasterSampler, uv).rgb;
    float alpha = BlendEnable > 0.5 ? clamp(Alpha, 0.0, 1.0) : 1.0;
    fragment = vec4(SurfaceColor * raster, alpha);
  }
}

technique CAD {
  pass P0 {
    VertexShader = CADVS;
    PixelShader = CADPS;
    CullMode = None;
  }
}

technique CADBlend {
  pass P0 {
    VertexShader = CADVS;
    PixelShader = CADPS;
    CullMode = None;
    AlphaBlendEnable = true;
    SrcBlend = SrcAlpha;
    DestBlend = InvSrcAlpha;
    ZWriteEnable = false;
  }
}
