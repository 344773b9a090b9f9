// The selection display: the corner marks of a selected entity's box and the rubber band of a
// rectangle selection (its fill and frame lie just behind the camera's near plane). Both are
// drawn without depth test, so the marks of a selected object stay visible behind others; the
// vertex colour's alpha lets the band's fill show the layout through.

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;

vertexshader SelectionBorderVS {
  in vec3 vPosition;
  in vec4 vColor0;
  out vec4 colour;
  void main() {
    colour = vColor0;
    gl_Position = vec4(vPosition, 1) * World * ViewProjection;
  }
}

pixelshader SelectionBorderPS {
  in vec4 colour;
  out vec4 fragment;
  void main() { fragment = colour; }
}

technique SelectionBorder {
  pass P0 {
    VertexShader = SelectionBorderVS;
    PixelShader = SelectionBorderPS;
    CullMode = None;
    AlphaBlendEnable = true;
    SrcBlend = SrcAlpha;
    DestBlend = InvSrcAlpha;
    ZEnable = false;
    ZWriteEnable = false;
  }
}
