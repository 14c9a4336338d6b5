// The "Image" tab: the selected station as a row of pictures (the adapter,
// then its modules in slot order) or a selected module alone, each picture a
// button that opens the object's Properties dialog, with the object's title,
// description, totals and size or address below. A monitored station whose
// communication failed is drawn with the "-OFF" pictures and a red title.
#pragma once

#include "app/ui/views/LabelCtrl.h"
#include "app/ui/views/TabChildView.h"

#include <vector>

class QScrollArea;

class CImageView : public CTabChildView {
  Q_OBJECT
public:
  static constexpr int kFirstButtonId = 5000;
  static constexpr int kLastButtonId = 5100;
  static constexpr int kPictureTop = 126;
  static constexpr int kPictureLeft = 20;

  explicit CImageView(QWidget* parent = nullptr);

  int RefreshView(int bForce) override;
  int UpdateOnlineVals(int value) override;
  int ClearView() override;
  int DoChangeModuleNameIcon(int which) override;
  int CanHandleCommand(int commandId, int mode) override;

  // A module button's command (ids 5000 ... 5100).
  void OnModuleCommand(int id);

  // The label of a control id of the form (1081 ... 1092), or null.
  LabelCtrl* Label(int controlId) const;
  const std::vector<CBtnVexo*>& buttons() const { return buttons_; }
  const std::vector<LabelCtrl*>& captions() const { return captions_; }

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  // One picture button with its caption strip; `left` and `right` advance
  // by the picture's width. 1.
  int CreateImg(const std::string& file, const std::string& caption, int id, int& left, int& right, Wrapper* object,
                const std::string& label);
  void DestroyPictures();
  void EmptyTexts();
  // Places the texts below the pictures and sizes the canvas.
  void Layout();

  QScrollArea* scroll_ = nullptr;
  QWidget* canvas_ = nullptr;
  LabelCtrl* description_ = nullptr;    // 1092
  LabelCtrl* descCaption_ = nullptr;    // 1091
  LabelCtrl* secondText_ = nullptr;     // 1082
  LabelCtrl* firstText_ = nullptr;      // 1081
  LabelCtrl* secondCaption_ = nullptr;  // 1085
  LabelCtrl* firstCaption_ = nullptr;   // 1084
  LabelCtrl* title_ = nullptr;          // 1088
  std::vector<CBtnVexo*> buttons_;
  std::vector<LabelCtrl*> captions_;
  Wrapper* shown_ = nullptr;
  int picturesRight_ = kPictureLeft;
  int picturesBottom_ = kPictureTop;
};
