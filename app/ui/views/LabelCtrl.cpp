#include "app/ui/views/LabelCtrl.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

namespace {

// A screen reader takes the label for a static text, read by its text (the
// accessible name SetText gives it), not for an empty pane.
QAccessibleInterface* LabelAccessible(const QString& className, QObject* object) {
  if (className != QLatin1String("LabelCtrl") || !object || !object->isWidgetType()) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StaticText);
}

}  // namespace

LabelCtrl::LabelCtrl(QWidget* parent) : QWidget(parent) {
  [[maybe_unused]] static const bool kFactoryInstalled = (QAccessible::installFactory(&LabelAccessible), true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void LabelCtrl::SetFont(const std::string& face, int height, QColor colour, int flags) {
  face_ = QString::fromStdString(face);
  height_ = height;
  colour_ = colour;
  if (flags & kBold) bold_ = true;
  if (flags & kItalic) italic_ = true;
  if (flags & kUnderline) underline_ = true;
  if (flags & kStrikeOut) strikeOut_ = true;
  if (flags & kSmooth) smooth_ = true;
  centred_ = (flags & kCentred) != 0;
  right_ = !centred_ && (flags & kRight) != 0;
  left_ = !centred_ && !right_;
  update();
}

void LabelCtrl::SetText(const std::string& text) {
  text_ = QString::fromStdString(text);
  setAccessibleName(text_);
  repaint();
}

Qt::Alignment LabelCtrl::alignment() const {
  if (centred_) return Qt::AlignHCenter;
  if (right_) return Qt::AlignRight;
  return Qt::AlignLeft;
}

QFont LabelCtrl::PaintFont() const {
  QFont font(face_);
  font.setPixelSize(std::max(1, height_));
  font.setWeight(bold_ ? QFont::Black : QFont::Normal);
  font.setItalic(italic_);
  font.setUnderline(underline_);
  font.setStrikeOut(strikeOut_);
  font.setStyleStrategy(smooth_ ? QFont::PreferAntialias : QFont::PreferDefault);
  return font;
}

int LabelCtrl::HeightForWidth(int width) const {
  // An empty label takes no room; not measuring it keeps a face of the font
  // that no text uses yet from being loaded (the views are laid out empty
  // before anything is selected).
  if (text_.isEmpty()) return 0;
  const QFontMetrics metrics(PaintFont());
  return metrics.boundingRect(QRect(0, 0, std::max(1, width), 100000), Qt::TextWordWrap | alignment(), text_).height();
}

void LabelCtrl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // Without a colour of its own the label takes the current button face, so
  // it follows a change of the system colours.
  p.fillRect(rect(), palette().color(QPalette::Button));
  p.setPen(colour_);
  p.setFont(PaintFont());
  // Plain text: an ampersand is shown as it is.
  p.drawText(rect(), static_cast<int>(alignment() | Qt::AlignTop | Qt::TextWordWrap), text_);
}

void LabelCtrl::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}
