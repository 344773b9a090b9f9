#pragma once
// TCameraMenu: the page of one camera. "Kameraobjekt anzeigen" (placed cameras only), the field
// of view 10..90 degrees on a bar of 0..100 (perspective cameras), and the button that makes the
// camera the one the view looks through ("Aktivieren") or gives the view back to the camera
// used before ("Deaktivieren"). "Verfolgen..." stays down until the next click in the view picks
// the entity the camera keeps looking at (Escape cancels); the button then names it and the
// button beside it lets go of it. Typed positions and turns keep a camera of a predefined type
// free of roll, as loading does.

#include <memory>

#include "gui/pages/EntityPage.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace rr {

class TRRCameraRenderWindow;

class TRRCamera;
class TRRCameraLinkModifier;

inline constexpr const char* RRTextShowCameraModel = "Kameraobjekt anzeigen";
inline constexpr const char* RRTextActivate = "Aktivieren";
inline constexpr const char* RRTextDeactivate = "Deaktivieren";
inline constexpr const char* RRTextFollow = "Verfolgen...";

// The field of view of a bar position (0..100): 10 to 90 degrees; and back (rounded, clamped).
float RRFieldOfViewOf(int position);
int RRFieldOfViewPosition(float radians);

class TCameraMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TCameraMenu(QWidget* parent = nullptr);
  ~TCameraMenu() override;

  QCheckBox* ShowModelCheck() const { return FShowModel; }
  QSlider* FieldOfViewBar() const { return FFOVBar; }
  QLabel* FieldOfViewLabel() const { return FFOVLabel; }
  QPushButton* ActivateButton() const { return FActivate; }
  QPushButton* FollowButton() const { return FFollow; }
  QPushButton* UnfollowButton() const { return FUnfollow; }
  TRRCameraLinkModifier* Picker() const { return FPicker.get(); }
  TRRCameraRenderWindow* Picture() const { return FPicture; }

  void Leave() override;

 protected:
  void RefreshPage(bool force) override;
  void Placed(TRREntity& entity) override;
  // The camera menu of the window shows the new name.
  void Rename(TRREntity& entity, const std::string& name) override;

 private:
  TRRCamera* Camera() const;
  void StopPicking();
  void SetTarget(TRRCamera& camera, TRREntity* target);

  QCheckBox* FShowModel;
  QSlider* FFOVBar;
  QLabel* FFOVLabel;
  QPushButton* FActivate;
  QPushButton* FFollow;
  QPushButton* FUnfollow;
  TRRCameraRenderWindow* FPicture;
  std::unique_ptr<TRRCameraLinkModifier> FPicker;
};

}  // namespace rr
