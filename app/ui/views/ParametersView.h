// The "Parameter" tab: the parameters of the selected adapter (its
// communication-init block, then its PARA image) or module, with project
// values edited in place and online values read from the device.
#pragma once

#include "app/ui/views/TabChildView.h"

class CParametersView : public qmx::views::CGridFormView {
  Q_OBJECT
public:
  explicit CParametersView(QWidget* parent = nullptr);

  int RefreshView(int bForce) override;
  int UpdateOnlineVals(int value) override;
  int DoChangeModuleNameIcon(int which) override;
  int CanHandleCommand(int commandId, int mode) override;

private:
  // The monitoring flag of the object's station (the adapter, or the
  // selected module's adapter).
  static int StationMonitoring(Wrapper& object);

  // The station's monitoring flag when the rows were built (-1: none built).
  int builtMonitoring_ = -1;
};
