// Flexible track: copy k runs from flex point k to k + 1 of SegmentInfo (direction x, z, position x, z in route units; SegmentSize is the scale).
#include "TrackCommon.fxh"

float4 SegmentInfo[64];
// Batched drawing: 64 flex points per primitive, 16 primitives.
float4 InstanceSegmentInfo[1024];
float SegmentSize = 1;

vertexshader FlexibleVS {
  in vec3 vPosition;
  in vec3 vNormal;
  in vec2 vTexCoord0;
  out vec3 wNormal;
  out vec2 uv;
  out vec4 color;
  void main() {
    TTrack t;
    int base = 0;
    if (Instanced > 0.5) {
      t = TrackInstance(gl_InstanceID);
      base = gl_InstanceID * 64;
    } else {
      t = TrackSingle(0.0, SegmentSize, 0.0, vec4(0.0));
    }
    if (TrackCollapsed(t, gl_VertexID)) {
      gl_Position = vec4(0.0, 0.0, -2.0, 1.0);
      wNormal = vec3(0.0, 1.0, 0.0);
      uv = vec2(0.0);
      color = vec4(0.0);
      return;
    }
    int k = int(floor(vPosition.z));
    float f = vPosition.z - float(k);
    // A vertex on a joint belongs to the segment before it (the same point), so the last one
    // stays on the last point.
    if (k > 0 && f < 0.0001) {
      k -= 1;
      f = 1.0;
    }
    k = clamp(k, 0, 62);
    vec4 a = Instanced > 0.5 ? InstanceSegmentInfo[base + k] : SegmentInfo[k];
    vec4 b = Instanced > 0.5 ? InstanceSegmentInfo[base + k + 1] : SegmentInfo[k + 1];
    vec2 pos = mix(a.zw, b.zw, f);
    vec2 dir = mix(a.xy, b.xy, f);
    dir = length(dir) > 0.0 ? normalize(dir) : vec2(0.0, 1.0);
    vec3 side = vec3(dir.y, 0.0, -dir.x);
    vec3 fwd = vec3(dir.x, 0.0, dir.y);
    vec3 p = vec3(pos.x, 0.0, pos.y) / t.s + side * vPosition.x + vec3(0.0, vPosition.y, 0.0);
    vec3 n = side * vNormal.x + vec3(0.0, vNormal.y, 0.0) + fwd * vNormal.z;
    uv = vTexCoord0;
    gl_Position = TrackProject(p, t.world, t.bias);
    wNormal = TrackWorldNormal(n, t.world);
    color = t.color;
  }
}

technique Main {
  pass P0 { VertexShader = FlexibleVS; PixelShader = TrackPS; CullMode = None; }
}
technique CAD {
  pass P0 { VertexShader = FlexibleVS; PixelShader = TrackCadPS; CullMode = None; }
}
