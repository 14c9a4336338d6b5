#include "app/ui/views/ImageView.h"

#include "app/commands/CommandIds.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/Services.h"
#include "app/ui/views/rows/ViewHost.h"
#include "common/Utility.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int kCaptionTop = 112;
constexpr int kCaptionHeight = 14;
constexpr int kCaptionColumn = 150;  // width of the caption column of the texts
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

// The canvas of the pictures, painted in the button face like the labels.
class ImageCanvas : public QWidget {
public:
  explicit ImageCanvas(QWidget* parent) : QWidget(parent) { setAutoFillBackground(false); }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
  }
};

}  // namespace

CImageView::CImageView(QWidget* parent) : CTabChildView(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName("ImageScroll");
  scroll_->setWidgetResizable(false);
  scroll_->setFrameShape(QFrame::NoFrame);
  // A Tab stop of its own: the arrow keys scroll to the texts below the pictures.
  // Without a frame the focus would not show; the border is kept unfocused
  // too, so that the pictures do not move when the focus comes.
  scroll_->setAccessibleName("Image");
  scroll_->setStyleSheet("QScrollArea#ImageScroll { border: 1px solid transparent; }"
                         "QScrollArea#ImageScroll:focus { border: 1px dotted black; }");
  canvas_ = new ImageCanvas(scroll_);
  canvas_->setObjectName("ImageCanvas");
  scroll_->setWidget(canvas_);
  layout->addWidget(scroll_);

  auto make = [this](int id, const char* face, int size, QColor colour, int flags) {
    auto* label = new LabelCtrl(canvas_);
    label->setObjectName(QString("Static%1").arg(id));
    label->SetFont(face, size, colour, flags);
    return label;
  };
  description_ = make(1092, "Tahoma", 16, Qt::black, 64);
  descCaption_ = make(1091, "Tahoma", 16, Qt::black, 65);
  secondText_ = make(1082, "Tahoma", 16, Qt::black, 64);
  firstText_ = make(1081, "Tahoma", 16, Qt::black, 64);
  secondCaption_ = make(1085, "Tahoma", 16, Qt::black, 65);
  firstCaption_ = make(1084, "Tahoma", 16, Qt::black, 65);
  title_ = make(1088, "Arial", 30, kBlue, 65);
  EmptyTexts();
  Layout();
}

LabelCtrl* CImageView::Label(int controlId) const {
  switch (controlId) {
    case 1092: return description_;
    case 1091: return descCaption_;
    case 1082: return secondText_;
    case 1081: return firstText_;
    case 1085: return secondCaption_;
    case 1084: return firstCaption_;
    case 1088: return title_;
    default: return nullptr;
  }
}

void CImageView::EmptyTexts() {
  for (LabelCtrl* label : {description_, descCaption_, secondText_, firstText_, secondCaption_, firstCaption_, title_})
    label->SetText({});
}

void CImageView::DestroyPictures() {
  // A rebuild can start inside a button's own click (the Properties dialog
  // asks for every view to refresh): the buttons go once that has returned.
  for (CBtnVexo* button : buttons_) {
    button->hide();
    button->deleteLater();
  }
  for (LabelCtrl* caption : captions_) {
    caption->hide();
    caption->deleteLater();
  }
  buttons_.clear();
  captions_.clear();
  picturesRight_ = kPictureLeft;
  picturesBottom_ = kPictureTop;
}

int CImageView::ClearView() {
  DestroyPictures();
  EmptyTexts();
  shown_ = nullptr;
  Layout();
  return 1;
}

int CImageView::CreateImg(const std::string& file, const std::string& caption, int id, int& left, int& right,
                          Wrapper* object, const std::string& label) {
  QPixmap picture(QString::fromStdString(file));
  if (picture.isNull()) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Error Code: %d] Cannot load module's graph image. %s", qmx::err::kModuleImageLoad, file.c_str()));
    picture.load(QString::fromStdString(qmx::views::DefaultPicture(qmx::Paths().imageDir)));
    if (picture.isNull()) {
      // Not even the default picture: a plain grey slot keeps the row readable.
      picture = QPixmap(32, 200);
      picture.fill(QColor(192, 192, 192));
    }
  }
  const int w = picture.width();
  const int h = picture.height();
  auto* button = new CBtnVexo(canvas_);
  button->setObjectName(QString("Button%1").arg(id));
  button->setAccessibleName(QString::fromStdString(label.empty() ? caption : label + " " + caption));
  button->setToolTip(QString::fromStdString(caption));
  button->setIcon(QIcon(picture));
  button->setIconSize(picture.size());
  button->setFlat(true);
  button->setStyleSheet("QPushButton { border: none; padding: 0px; } "
                        "QPushButton:focus { border: 1px dotted black; }");
  button->setFocusPolicy(Qt::StrongFocus);
  // Made after the frame's other windows, the button would come last in the
  // Tab chain; it follows the picture before it instead.
  setTabOrder(buttons_.empty() ? static_cast<QWidget*>(scroll_) : buttons_.back(), button);
  button->setGeometry(left, kPictureTop, w, h);
  right += w;
  button->SetModule(object);
  connect(button, &QPushButton::clicked, this, [this, id] { OnModuleCommand(id); });
  button->show();
  buttons_.push_back(button);

  auto* strip = new LabelCtrl(canvas_);
  strip->setObjectName(QString("Caption%1").arg(id));
  strip->setGeometry(left, kCaptionTop, right - left, kCaptionHeight);
  strip->SetFont("Arial", 14, Qt::black, LabelCtrl::kCentred);
  strip->SetText(label);
  strip->show();
  captions_.push_back(strip);
  left += w;
  picturesRight_ = std::max(picturesRight_, right);
  picturesBottom_ = std::max(picturesBottom_, kPictureTop + h);
  return 1;
}

void CImageView::Layout() {
  const int viewWidth = std::max(scroll_->viewport()->width(), 400);
  const int width = std::max(viewWidth, picturesRight_ + kPictureLeft);
  const int textWidth = std::max(200, viewWidth - kPictureLeft * 2 - kCaptionColumn);
  title_->setGeometry(kPictureLeft, 8, viewWidth - 2 * kPictureLeft, std::max(40, title_->HeightForWidth(viewWidth - 40)));
  int y = picturesBottom_ + 20;
  const std::pair<LabelCtrl*, LabelCtrl*> rows[] = {
      {descCaption_, description_}, {firstCaption_, firstText_}, {secondCaption_, secondText_}};
  for (const auto& [caption, text] : rows) {
    const int h = std::max(caption->HeightForWidth(kCaptionColumn - 8), text->HeightForWidth(textWidth)) + 4;
    caption->setGeometry(kPictureLeft, y, kCaptionColumn - 8, h);
    text->setGeometry(kPictureLeft + kCaptionColumn, y, textWidth, h);
    y += h + 6;
  }
  canvas_->resize(width, std::max(y + 10, scroll_->viewport()->height()));
}

void CImageView::resizeEvent(QResizeEvent* event) {
  CTabChildView::resizeEvent(event);
  Layout();
}

int CImageView::RefreshView(int bForce) {
  static const char* kFunc = "ImageView::RefreshView";
  using namespace qmx::views;
  if (!HasMainFrame(kFunc)) return 0;
  ProjectWorkspace* ws = Host().workspace;
  Wrapper* object = SelectedObject("ImageView-OnChangeEditComment");
  if (!object) return 2;
  if (object == shown_ && !bForce) return 2;
  scroll_->horizontalScrollBar()->setValue(0);
  DestroyPictures();
  EmptyTexts();
  shown_ = object;
  if (!object->IsModule()) {
    Layout();
    return 2;
  }
  CNAUsr* adapter = object->IsType(kTypeNA) ? static_cast<CNAUsr*>(object) : SelectedAdapter("ImageView-RefreshView");
  std::vector<CIOUsr*> modules;
  if (object->IsType(kTypeNA) && adapter) ws->CollectIOUsrs(adapter->treeItem, modules, 1);
  const int state = adapter && Host().commState ? Host().commState(*adapter) : 0;
  const ImageModel model = BuildImageModel(*object, adapter, modules, HostNamingMode(), state, qmx::Paths().imageDir);
  int left = kPictureLeft;
  int right = kPictureLeft;
  int id = kFirstButtonId;
  for (const ImagePicture& picture : model.pictures) {
    if (id > kLastButtonId) break;
    CreateImg(picture.file, picture.caption, id++, left, right, picture.object, picture.label);
  }
  if (model.adapterKnown) title_->SetFont("Arial", 30, model.fault ? kRed : kBlue, 65);
  const ImageTexts& t = model.texts;
  title_->SetText(t.title);
  descCaption_->SetText(t.descCaption);
  description_->SetText(t.description);
  firstCaption_->SetText(t.firstCaption);
  firstText_->SetText(t.firstText);
  secondCaption_->SetText(t.secondCaption);
  secondText_->SetText(t.secondText);
  Layout();
  return 1;
}

int CImageView::UpdateOnlineVals(int value) {
  if (!qmx::views::Host().workspace) return 0;
  if (value == 1) RefreshView(1);
  return 1;
}

int CImageView::DoChangeModuleNameIcon(int which) {
  using namespace qmx::views;
  Wrapper* object = SelectedObject("ImageView-DoChangeModuleNameIcon");
  if (!object || which != -1 || (!object->IsType(kTypeNA) && !object->IsType(kTypeIO))) return 2;
  title_->SetText(object->GetLabel(HostNamingMode()));
  return 1;
}

int CImageView::CanHandleCommand(int commandId, int mode) {
  if (commandId != qmx::commands::kIdEditDelete || mode != 1) return 0;
  QWidget* focus = QApplication::focusWidget();
  return focus && focus->inherits("CBtnVexo") ? 1 : 0;
}

void CImageView::OnModuleCommand(int id) {
  using namespace qmx::views;
  const int index = id - kFirstButtonId;
  if (index < 0 || static_cast<size_t>(index) >= buttons_.size()) return;
  Wrapper* object = buttons_[static_cast<size_t>(index)]->GetModule();
  if (!object || !Host().openProperties) return;
  if (Host().openProperties(object, object->GetLabel(HostNamingMode())) != 1) return;
  ProjectWorkspace* ws = Host().workspace;
  if (!ws) return;
  ws->UpdateNATreeLabel(object);
  auto* adapter = dynamic_cast<CNAUsr*>(object);
  if (!adapter) return;
  if (adapter->channelChanged == 1 && Host().refreshViews) Host().refreshViews(1, "");
  if (adapter->channelChanged == 1 || adapter->deviceChanged == 1) ws->SetProjectModified(1, nullptr);
}
