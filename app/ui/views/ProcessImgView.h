// The "Process Image" tab: the input and output items of the selected
// adapter or module with their project and online values and units, in the
// frame's analog value mode; output values are edited in place.
#pragma once

#include "app/ui/views/TabChildView.h"

class CProcessImgView : public qmx::views::CGridFormView {
  Q_OBJECT
public:
  explicit CProcessImgView(QWidget* parent = nullptr);

  int RefreshView(int bForce) override;
  int UpdateOnlineVals(int quiet) override;
  int DoChangeModuleNameIcon(int which) override;
  int CanHandleCommand(int commandId, int mode) override;
  int ChangeValMode(int reset) override;

  bool onlineValuesShown() const { return onlineShown_; }

private:
  void ChangeUnit(Wrapper* object);

  bool onlineShown_ = false;
};
