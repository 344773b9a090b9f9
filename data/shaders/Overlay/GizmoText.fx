// The transformation gizmo: its axes, letters and rings as lines of a few pixels' width, and the
// solid arrow heads. Every line is two triangles; each of their vertices carries its own end in
// vPosition, the line's other end in vNormal and the side it is pushed to in vTexCoord0.x
// (-1 or 1). The vertex is moved across the line on screen by half the width, so lines keep
// their width at any distance. Triangles of the arrow heads carry side 0 and stay where they
// are. Drawn over the scene (the overlay clears the depth first) with blending, so dimmed
// handles (alpha below 1) let the layout show through.

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;

float2 ViewportSize = {800, 600};
float LineWidth = 2.5;

vertexshader GizmoVS {
  in vec3 vPosition;
  in vec3 vNormal;
  in vec2 vTexCoord0;
  in vec4 vColor0;
  out vec4 colour;
  void main() {
    vec4 a = vec4(vPosition, 1) * World * ViewProjection;
    vec4 b = vec4(vNormal, 1) * World * ViewProjection;
    colour = vColor0;
    vec2 sa = a.xy / max(abs(a.w), 1e-6) * ViewportSize;
    vec2 sb = b.xy / max(abs(b.w), 1e-6) * ViewportSize;
    vec2 d = sb - sa;
    float len = length(d);
    vec2 across = len > 1e-4 ? vec2(-d.y, d.x) / len : vec2(0.0);
    vec2 offset = across * vTexCoord0.x * LineWidth / ViewportSize * a.w;
    gl_Position = vec4(a.xy + offset, a.z, a.w);
  }
}

pixelshader GizmoPS {
  in vec4 colour;
  out vec4 fragment;
  void main() { fragment = colour; }
}

technique Gizmo {
  pass P0 {
    VertexShader = GizmoVS;
    PixelShader = GizmoPS;
    CullMode = None;
    AlphaBlendEnable = true;
    SrcBlend = SrcAlpha;
    DestBlend = InvSrcAlpha;
    ZEnable = false;
    ZWriteEnable = false;
  }
}
