// A static text that paints itself in its own font, colours and alignment
// with word wrapping, and the push button that stands for one module in the
// image view.
#pragma once

#include <QPushButton>
#include <QWidget>

#include <string>

class Wrapper;

class LabelCtrl : public QWidget {
  Q_OBJECT
public:
  // Style flags of SetFont.
  static constexpr int kBold = 0x01;
  static constexpr int kItalic = 0x02;
  static constexpr int kUnderline = 0x04;
  static constexpr int kStrikeOut = 0x08;
  static constexpr int kSmooth = 0x10;
  static constexpr int kCentred = 0x20;
  static constexpr int kRight = 0x80;

  explicit LabelCtrl(QWidget* parent = nullptr);

  // Face, height (pixels), text colour; every style bit given switches its
  // style on (others stay), the alignment is replaced by the one given.
  void SetFont(const std::string& face, int height, QColor colour, int flags);
  // Sets the text and repaints at once.
  void SetText(const std::string& text);
  std::string Text() const { return text_.toStdString(); }

  bool bold() const { return bold_; }
  bool italic() const { return italic_; }
  // Qt alignment of the text (left, centred or right).
  Qt::Alignment alignment() const;
  QColor textColour() const { return colour_; }
  // The font the label paints with.
  QFont PaintFont() const;
  // Height the text needs at a width, wrapped.
  int HeightForWidth(int width) const;

signals:
  // The label reports clicks to its owner.
  void clicked();

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  bool bold_ = false;
  bool italic_ = false;
  bool underline_ = false;
  bool strikeOut_ = false;
  bool smooth_ = false;
  bool centred_ = false;
  bool left_ = true;
  bool right_ = false;
  QString face_ = "MS Sans Serif";
  QColor colour_ = Qt::black;
  int height_ = 8;
  QString text_;
};

// One module (or the adapter) of the image view: a picture button bound to
// its object.
class CBtnVexo : public QPushButton {
  Q_OBJECT
public:
  explicit CBtnVexo(QWidget* parent = nullptr) : QPushButton(parent) {}
  void SetModule(Wrapper* module) { module_ = module; }
  Wrapper* GetModule() const { return module_; }

private:
  Wrapper* module_ = nullptr;
};
