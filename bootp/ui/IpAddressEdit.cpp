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
  const std::string t = text().trimmed().toStdString();
  // Missing octets read as 0, as the address control gives them.
  std::string out;
  int parts = 0;
  size_t start = 0;
  while (parts < 4) {
    const size_t dot = t.find('.', start);
    std::string part = start <= t.size() ? t.substr(start, dot == std::string::npos ? std::string::npos : dot - start) : "";
    if (part.empty()) part = "0";
    out += (parts ? "." : "") + std::to_string(std::stoi(part));
    ++parts;
    if (dot == std::string::npos) start = t.size() + 1;
    else start = dot + 1;
  }
  return out;
}

void IpAddressEdit::setAddress(const std::string& text) { setText(QString::fromStdString(text)); }

}  // namespace qmx::plenvar
