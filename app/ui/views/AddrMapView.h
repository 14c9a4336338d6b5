// The "Address Map" tab: where every channel of the selected station (or
// module) lies in the Modbus process image, as the driver's address-map
// record gives it, under the adapter's input and output modes. Read-only.
#pragma once

#include "app/ui/views/TabChildView.h"

class CAddrMapView : public qmx::views::CGridFormView {
  Q_OBJECT
public:
  explicit CAddrMapView(QWidget* parent = nullptr);

  int RefreshView(int bForce) override;
  int UpdateOnlineVals(int) override { return 1; }
  int ClearView() override;
  int DoChangeModuleNameIcon(int which) override;

  QLabel* inputMode() const { return inputMode_; }
  QLabel* outputMode() const { return outputMode_; }

private:
  QLabel* inputMode_ = nullptr;
  QLabel* outputMode_ = nullptr;
};
