// Straight track: copy k of the segment covers k * Length to (k + 1) * Length (Length is the segment size).
#include "TrackCommon.fxh"

float Length = 1;

vertexshader LinearVS {
  in vec3 vPosition;
  in vec3 vNormal;
  in vec2 vTexCoord0;
  out vec3 wNormal;
  out vec2 uv;
  out vec4 color;
  void main() {
    TTrack t;
    if (Instanced > 0.5) t = TrackInstance(gl_InstanceID); else t = TrackSingle(0.0, Length, 0.0, vec4(0.0));
    if (TrackCollapsed(t, gl_VertexID)) {
      gl_Position = vec4(0.0, 0.0, -2.0, 1.0);
      wNormal = vec3(0.0, 1.0, 0.0);
      uv = vec2(0.0);
      color = vec4(0.0);
      return;
    }
    vec3 p = vec3(vPosition.xy, vPosition.z * t.s);
    vec3 n = vNormal;
    uv = vTexCoord0;
    gl_Position = TrackProject(p, t.world, t.bias);
    wNormal = TrackWorldNormal(n, t.world);
    color = t.color;
  }
}

technique Main {
  pass P0 { VertexShader = LinearVS; PixelShader = TrackPS; CullMode = None; }
}
technique CAD {
  pass P0 { VertexShader = LinearVS; PixelShader = TrackCadPS; CullMode = None; }
}
