// A line edit for a dotted IPv4 address; a blank field reads "0.0.0.0", as
// an empty address control does.
#pragma once

#include <QLineEdit>
#include <string>

namespace qmx::plenvar {

class IpAddressEdit : public QLineEdit {
public:
  explicit IpAddressEdit(QWidget* parent = nullptr);
  std::string address() const;
  void setAddress(const std::string& text);
};

}  // namespace qmx::plenvar
