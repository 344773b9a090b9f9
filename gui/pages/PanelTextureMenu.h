#pragma once
// TPanelTextureMenu: the texture page of one baseboard panel. The list of the panel's ground
// textures (the built-in ones first, then the user's, each by name) with a preview, buttons that
// add a texture file, delete a user texture and replace a texture by another of the list, the
// scale of the selected texture, the brush ("Pinsel", "Verlauf:", "Deckkraft:", shape) and the
// mode button "Zeichenmodus": while it is down a painting brush (TRRPanelModifier, mode 0) paints
// the selected texture. Every change of the list and of a scale is one command; leaving the page
// frees the brush.

#include <memory>
#include <string>
#include <vector>

#include "app/entities/panel/RRPanelRules.h"
#include "gui/pages/PanelHeightMenu.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;

namespace rr {

class TRRPanel;
class TRRPanelModifier;

inline constexpr const char* RRTextPaintMode = "Zeichenmodus";
inline constexpr const char* RRTextAddTexture = "Fügt eine neue Textur zur Auswahlliste hinzu";
inline constexpr const char* RRTextDeleteTexture = "Entfernt die ausgewählte Textur von der Bodenplatte";
inline constexpr const char* RRTextReplaceTexture = "Ersetzt die ausgewählte Textur mit einer neuen Textur";

class TPanelTextureMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TPanelTextureMenu(QWidget* parent = nullptr);
  ~TPanelTextureMenu() override;

  static const TRRBrushSettings& Settings();

  void Leave() override;
  void Entered() override;

  QComboBox* TextureBox() const { return FTextures; }
  QLabel* Preview() const { return FPreview; }
  QToolButton* AddButton() const { return FAdd; }
  QToolButton* DeleteButton() const { return FDelete; }
  QToolButton* ReplaceButton() const { return FReplace; }
  QSlider* ScaleBar() const { return FScale; }
  QLabel* ScaleLabel() const { return FScaleLabel; }
  QLineEdit* WidthEdit() const { return FWidth.Edit; }
  QLineEdit* GradientEdit() const { return FGradient.Edit; }
  QLineEdit* OpacityEdit() const { return FOpacity.Edit; }
  QComboBox* ShapeBox() const { return FShape; }
  QPushButton* PaintButton() const { return FPaint; }
  TRRPanelModifier* Modifier() const { return FModifier.get(); }
  // The texture-list index of the selected item, or -1.
  int SelectedTexture() const;

 protected:
  void RefreshPage(bool force) override;
  void hideEvent(QHideEvent* event) override;

 private:
  TRRPanel* Panel() const;
  void BuildList();
  void Selected();
  void ReadSettings();
  void ShowSettings();
  void ApplySettings();
  void StartBrush(bool on);
  // Frees the brush; release: the mode button goes up too.
  void StopBrush(bool release = true);
  void ScaleMoved(int position);
  void CommitScale();
  void AddTexture();
  void DeleteTexture();
  void ReplaceTexture();

  QComboBox* FTextures;
  QLabel* FPreview;
  QToolButton* FAdd;
  QToolButton* FDelete;
  QToolButton* FReplace;
  QSlider* FScale;
  QLabel* FScaleLabel;
  TRRStepEdit FWidth, FGradient, FOpacity;
  QComboBox* FShape;
  QPushButton* FPaint;
  std::vector<TRRTexturePageItem> FItems;
  std::string FRemembered;
  bool FBuilding = false;
  std::unique_ptr<TRRPanelModifier> FModifier;
};

}  // namespace rr
