#pragma once
// TCatenaryMenu: the page of one overhead-wire mast: "Kabelverbindung" names the mast the wire
// runs to, the unlink button removes that link and every link to this mast in one command.
// "Verbinden mit..." stays down while the next click in the view picks the partner mast (the
// picking tool on the manager's stack); with "Verbindungsmodus" (remembered while the program
// runs) the partner becomes the selection and the button stays down for the next one.

#include <memory>

#include "gui/pages/EntityPage.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace rr {

class TRRCatenary;
class TRRCatenaryModifier;

inline constexpr const char* RRTextLinkWith = "Verbinden mit...";
inline constexpr const char* RRTextChainMode = "Verbindungsmodus";
inline constexpr const char* RRTextChainModeHint = "Ermöglicht die Verbindung mehrerer Oberleitungen ohne Neuselektion.";

class TCatenaryMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TCatenaryMenu(QWidget* parent = nullptr);
  ~TCatenaryMenu() override;
  QLabel* LinkLabel() const { return FLink; }
  QPushButton* UnlinkButton() const { return FUnlink; }
  QCheckBox* ChainModeCheck() const { return FChain; }
  QPushButton* LinkWithButton() const { return FLinkWith; }
  TRRCatenaryModifier* Picker() const { return FPicker.get(); }

  void Leave() override;
  // The picker goes on when the new selection is the mast it now works for (chain mode).
  void EntitiesChanging(const std::vector<int32_t>& ids) override;

 protected:
  void RefreshPage(bool force) override;

 private:
  void UnlinkAll();
  void StartPicking(TRRCatenary& mast);
  void StopPicking();
  std::unique_ptr<TRRCatenaryModifier> FPicker;

  QLabel* FLink;
  QPushButton* FLinkWith;
  QPushButton* FUnlink;
  QCheckBox* FChain;
};

}  // namespace rr
