// The marks of the height brush: every grid point is six vertices (two triangles) at the point's
// position in the panel's space, each carrying a corner (-0.5 or 0.5 twice) in its normal. The
// corners are spread into a camera-facing square of side Scale (panel units) spanned by
// RightVector and UpVector (the camera's right and up axes in world space), coloured with the
// vertex colour (unmarked points grey and half transparent, marks red through yellow to green).
// The marks are drawn over the terrain without depth writes.

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;

float Scale = 0.5;
float3 RightVector = {1, 0, 0};
float3 UpVector = {0, 1, 0};

vertexshader HeightmapVS {
  in vec3 vPosition;
  in vec3 vNormal;
  in vec4 vColor0;
  out vec4 colour;
  void main() {
    vec4 p = vec4(vPosition, 1) * World;
    vec3 spread = (RightVector * vNormal.x + UpVector * vNormal.y) * Scale;
    colour = vColor0;
    gl_Position = vec4(p.xyz + spread, 1) * ViewProjection;
  }
}

pixelshader HeightmapPS {
  in vec4 colour;
  out vec4 fragment;
  void main() { fragment = colour; }
}

technique Heightmap {
  pass P0 {
    VertexShader = HeightmapVS;
    PixelShader = HeightmapPS;
    CullMode = None;
    AlphaBlendEnable = true;
    SrcBlend = SrcAlpha;
    DestBlend = InvSrcAlpha;
    ZWriteEnable = false;
    ZFunc = LessEqual;
  }
}
