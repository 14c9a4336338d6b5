// Answers the next "Add New Device" dialog as a user types into it: the MAC
// 0A-1B-2C-3D-4E-5F, an address, a mask and a gateway, then OK.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>

#include "bootp/ui/AddressDialogs.h"
#include "bootp/ui/IpAddressEdit.h"

namespace qmx::plenvar::test {

inline void WhenAddDeviceOpens(const std::string& ip, const std::string& mask = "255.255.0.0",
                               const std::string& gateway = "192.168.0.254") {
  QTimer::singleShot(0, [=] {
    auto* add = dynamic_cast<NewIpSetDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(add, nullptr);
    const char* parts[6] = {"0A", "1B", "2C", "3D", "4E", "5F"};
    for (int i = 0; i < 6; ++i) add->findChild<QLineEdit*>(QString("macPart%1").arg(i + 1))->setText(parts[i]);
    add->findChild<IpAddressEdit*>("ipAddress")->setAddress(ip);
    add->findChild<IpAddressEdit*>("subnetMask")->setAddress(mask);
    add->findChild<IpAddressEdit*>("gateway")->setAddress(gateway);
    add->accept();
  });
}

}  // namespace qmx::plenvar::test
