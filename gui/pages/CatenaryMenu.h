#pragma once
// TCatenaryMenu: the page of one overhead-wire mast: "Kabelverbindung" names the mast the wire
// runs to, the unlink button removes that link and every link to this mast in one command, and
// "Verbindungsmodus" is remembered while the program runs. Picking the partner in the view
// ("Verbinden mit...") is not offered here yet.

#include "gui/pages/EntityPage.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace rr {

inline constexpr const char* RRTextLinkWith = "Verbinden mit...";
inline constexpr const char* RRTextChainMode = "Verbindungsmodus";
inline constexpr const char* RRTextChainModeHint = "Ermöglicht die Verbindung mehrerer Oberleitungen ohne Neuselektion.";

class TCatenaryMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TCatenaryMenu(QWidget* parent = nullptr);
  QLabel* LinkLabel() const { return FLink; }
  QPushButton* UnlinkButton() const { return FUnlink; }
  QCheckBox* ChainModeCheck() const { return FChain; }

 protected:
  void RefreshPage(bool force) override;

 private:
  void UnlinkAll();

  QLabel* FLink;
  QPushButton* FLinkWith;
  QPushButton* FUnlink;
  QCheckBox* FChain;
};

}  // namespace rr
