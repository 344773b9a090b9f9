#pragma once
// A layout for the reflection manager on the recording null device: a scene with the "Project"
// node, a perspective camera at (0, 100, -300) looking along +z and down a little, a sky box
// node, and helpers that add mirroring or shiny nodes (a flat box with the model effect's
// reflecting material, registered by the material generator) and plain drawn boxes.

#include <memory>
#include <string>
#include <vector>

#include "app/RRMaterial.h"
#include "app/RRReflectionManager.h"
#include "engine/core/GXMath.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXScene.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace rr::test {

struct TReflectionScene {
  explicit TReflectionScene(gx::TGXNullRenderDevice& device, gx::TGXEffectParameterManager& parameters)
      : Device(device), Parameters(parameters) {
    Project = new gx::TGXSceneNode("Project", Scene.Root());
    Skybox = new gx::TGXSceneNode("Skybox", Scene.Root());
    CameraNode = new gx::TGXSceneNode("Camera", Scene.Root());
    CameraNode->SetPosition({0, 100, -300});
    CameraNode->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 0.3f));
    Camera = new gx::TGXCamera(CameraNode);
    Camera->SetPerspective(0.8f, 1, 5000);
    Effect = gx::test::MakeEffect(device, "E", {{false}}, &parameters);
    Plain = gx::test::MakeMaterial(nullptr, "Plain", Effect);
  }

  // A drawn box under the project node.
  gx::TGXSceneNode* AddBox(const gx::TGXVector3& at, float half = 10) {
    auto* node = new gx::TGXSceneNode("Box", Project);
    node->SetPosition(at);
    auto* object = new gx::test::TTestObject(gx::test::Box(-half, -half, -half, half, half, half));
    object->Primitives.push_back(Primitive(Plain));
    node->AttachObject(object);
    return node;
  }

  // A flat box (a water surface or a shiny tank) whose material reflects by mode; the material
  // is made by the generator, which registers it with the installed reflections.
  gx::TGXSceneNode* AddReflecting(const gx::TGXVector3& at, uint8_t mode, float strength = 0.6f) {
    auto* node = new gx::TGXSceneNode(mode == RRReflectionPlanar ? "Teich" : "Tank", Project);
    node->SetPosition(at);
    auto* object = new gx::test::TTestObject(gx::test::Box(-50, -1, -50, 50, 0, 50));
    TRRMaterialSubDesc sub;
    sub.ReflectionMode = mode;
    sub.ReflectionStrength = strength;
    gx::IGXMaterial material = TRRMaterialGenerator::MakeMaterial(sub, node);
    Materials.push_back(material);
    object->Primitives.push_back(Primitive(material ? material : Plain));
    node->AttachObject(object);
    return node;
  }

  gx::TGXRenderPrimitive* Primitive(const gx::IGXMaterial& material) {
    auto p = std::make_unique<gx::test::TTestPrimitive>();
    p->Material = material;
    p->VertexGeometry = gx::TGXVertexGeometry{2, 4, Decl, {VB}, {24}};
    p->IndexGeometry = gx::TGXIndexGeometry{6, 6, IB};
    Primitives.push_back(std::move(p));
    return Primitives.back().get();
  }

  void Update() { Scene.Root()->Update(false); }

  gx::TGXNullRenderDevice& Device;
  gx::TGXEffectParameterManager& Parameters;
  gx::TGXRef<gx::TGXNullVertexDeclaration> Decl = gx::MakeRef<gx::TGXNullVertexDeclaration>("Decl");
  gx::TGXRef<gx::TGXNullVertexBuffer> VB = gx::MakeRef<gx::TGXNullVertexBuffer>("VB", 960);
  gx::TGXRef<gx::TGXNullIndexBuffer> IB = gx::MakeRef<gx::TGXNullIndexBuffer>("IB", 600, gx::GXFormatIndex16);
  std::vector<std::unique_ptr<gx::test::TTestPrimitive>> Primitives;
  std::vector<gx::IGXMaterial> Materials;
  gx::TGXRef<gx::TGXEffect> Effect;
  gx::IGXMaterial Plain;
  gx::TGXScene Scene;
  gx::TGXSceneNode* Project = nullptr;
  gx::TGXSceneNode* Skybox = nullptr;
  gx::TGXSceneNode* CameraNode = nullptr;
  gx::TGXCamera* Camera = nullptr;
};

}  // namespace rr::test
