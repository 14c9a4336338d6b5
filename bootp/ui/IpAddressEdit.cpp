#include "bootp/ui/IpAddressEdit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace qmx::plenvar {

IpAddressEdit::IpAddressEdit(QWidget* parent) : QLineEdit(parent) {
  static const QRegularExpression kDotted(
      R"(^((25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)(\.(?!$)|$)){0,4}$)");
  setValidator(new QRegularExpressionValidator(kDotted, this));
  setPlaceholderText("0.0.0.0");
  setMinimumWidth(fontMetrics().horizontalAdvance("255.255.255.255") + 24);
}

std::string IpAddressEdit::address() const {
  // Missing or unreadable octets read as 0, as the address control gives them.
  const QStringList parts = text().trimmed().split('.');
  std::string out;
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    const int value = i < parts.size() ? parts[i].toInt(&ok) : 0;
    if (i) out += '.';
    out += std::to_string(ok && value >= 0 && value <= 255 ? value : 0);
  }
  return out;
}

void IpAddressEdit::setAddress(const std::string& text) { setText(QString::fromStdString(text)); }

}  // namespace qmx::plenvar
