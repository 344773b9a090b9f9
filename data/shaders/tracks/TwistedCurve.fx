// Curved track rolled from TwistAngle0 at its start to TwistAngle1 at Length.
#include "TrackCommon.fxh"

float SegmentSize = 1;
float Length = 1;
float Angle = 0;
float Radius = 1;
float TwistAngle0 = 0;
float TwistAngle1 = 0;

vertexshader TwistedCurveVS {
  in vec3 vPosition;
  in vec3 vNormal;
  in vec2 vTexCoord0;
  out vec3 wNormal;
  out vec2 uv;
  out vec4 color;
  void main() {
    TTrack t;
    if (Instanced > 0.5) t = TrackInstance(gl_InstanceID);
    else t = TrackSingle(0.0, SegmentSize, Length, vec4(Angle, Radius, TwistAngle0, TwistAngle1));
    if (TrackCollapsed(t, gl_VertexID)) {
      gl_Position = vec4(0.0, 0.0, -2.0, 1.0);
      wNormal = vec3(0.0, 1.0, 0.0);
      uv = vec2(0.0);
      color = vec4(0.0);
      return;
    }
    float d = vPosition.z * t.s;
    float f = t.len > 0.0 ? d / t.len : 0.0;
    float theta = t.shape.x * f;
    float r = mix(t.shape.z, t.shape.w, f);
    vec3 p = TrackArc(vec3(TrackRoll(vPosition.xy, r), 0.0), theta, t.shape.y);
    vec3 n = TrackArcNormal(vec3(TrackRoll(vNormal.xy, r), vNormal.z), theta);
    uv = vTexCoord0;
    gl_Position = TrackProject(p, t.world, t.bias);
    wNormal = TrackWorldNormal(n, t.world);
    color = t.color;
  }
}

technique Main {
  pass P0 { VertexShader = TwistedCurveVS; PixelShader = TrackPS; CullMode = None; }
}
technique CAD {
  pass P0 { VertexShader = TwistedCurveVS; PixelShader = TrackCadPS; CullMode = None; }
}
