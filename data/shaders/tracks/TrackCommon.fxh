// Shared by the seven track effects: the automatic matrices, the values every track effect
// has, the instance arrays of batched drawing, the bending helpers and the two pixel shaders
// (lit and textured; "CAD": flat, bed light grey and rails dark). Texture atlas: u 0-0.5 bed top
// with sleepers, 0.5-0.75 ballast, 0.75-0.875 rail side, 0.875-1 rail head; v runs along the
// track, one repeat per segment.

float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;
float DepthBias = 0;
float4 SpecialColor = {1, 1, 1, 1};
texture DiffuseMap;
sampler2D DiffuseSampler {
  Texture = DiffuseMap;
  MinFilter = Linear; MagFilter = Linear; MipFilter = Linear;
  AddressU = Clamp; AddressV = Wrap;
};

// Batched drawing: 1 while the arrays below hold the values of up to 64 primitives.
float Instanced = 0;
// Vertices of one segment copy (copies at or past a primitive's segment count collapse).
float SegmentVertices = 1000000000;
float4x4 InstanceWorld[64];
float4 InstanceColor[64];
// segment count, segment size, length, depth bias
float4 InstanceData[64];
// angle, radius, twist angle 0, twist angle 1
float4 InstanceShape[64];

glsl {
struct TTrack {
  mat4 world;
  vec4 color;
  float bias;
  float n;
  float s;
  float len;
  vec4 shape;
};

// i: gl_InstanceID (the shared code is also seen by the pixel shaders, which have none).
TTrack TrackInstance(int i) {
  TTrack t;
  t.world = InstanceWorld[i];
  t.color = InstanceColor[i];
  t.n = InstanceData[i].x;
  t.s = InstanceData[i].y;
  t.len = InstanceData[i].z;
  t.bias = InstanceData[i].w;
  t.shape = InstanceShape[i];
  return t;
}

TTrack TrackSingle(float n, float s, float len, vec4 shape) {
  TTrack t;
  t.world = World;
  t.color = SpecialColor;
  t.bias = DepthBias;
  t.n = n;
  t.s = s;
  t.len = len;
  t.shape = shape;
  return t;
}

// A copy of the segment beyond the primitive's segments (batched drawing only).
bool TrackCollapsed(TTrack t, int vertex) {
  return Instanced > 0.5 && floor((float(vertex) + 0.5) / SegmentVertices) >= t.n;
}

vec4 TrackProject(vec3 p, mat4 world, float bias) {
  vec4 c = vec4(p, 1.0) * world * ViewProjection;
  c.z += bias * c.w;
  return c;
}

vec3 TrackWorldNormal(vec3 n, mat4 world) { return normalize((vec4(n, 0.0) * world).xyz); }

// (x, y) rolled about the track axis: up (0, 1) goes to (-sin r, cos r).
vec2 TrackRoll(vec2 v, float r) {
  float s = sin(r);
  float c = cos(r);
  return vec2(v.x * c - v.y * s, v.x * s + v.y * c);
}

// Bent along an arc of radius (signed) turning by theta: the centre line point plus the
// offset across it; the normal turns with it.
vec3 TrackArc(vec3 p, float theta, float radius) {
  float c = cos(theta);
  float s = sin(theta);
  return vec3(radius - (radius - p.x) * c, p.y, (radius - p.x) * s);
}
vec3 TrackArcNormal(vec3 n, float theta) {
  float c = cos(theta);
  float s = sin(theta);
  return vec3(n.x * c + n.z * s, n.y, -n.x * s + n.z * c);
}
}

pixelshader TrackPS {
  in vec3 wNormal;
  in vec2 uv;
  in vec4 color;
  out vec4 fragment;
  void main() {
    vec3 l = normalize(vec3(0.35, 1.0, -0.45));
    float d = 0.45 + 0.55 * max(dot(normalize(wNormal), l), 0.0);
    vec4 t = texture(DiffuseSampler, uv);
    fragment = vec4(t.rgb * d, 1.0) * color;
  }
}

pixelshader TrackCadPS {
  in vec3 wNormal;
  in vec2 uv;
  in vec4 color;
  out vec4 fragment;
  void main() {
    vec3 c = uv.x >= 0.75 ? vec3(0.22, 0.22, 0.25) : vec3(0.80, 0.80, 0.78);
    fragment = vec4(c, 1.0) * color;
  }
}
