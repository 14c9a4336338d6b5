#include "app/ui/views/CommnetView.h"

#include "app/model/ProjectWorkspace.h"
#include "app/model/Wrapper.h"
#include "app/ui/views/rows/ViewHost.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

// The editor keeps line breaks as "\n"; the stored comment keeps them as
// the pair "\r\n" that the comment has always been saved with.
QString ToEditor(const std::string& comment) {
  return QString::fromStdString(comment).replace("\r\n", "\n");
}

std::string FromEditor(const QString& text) {
  QString stored = text;
  return stored.replace("\n", "\r\n").toStdString();
}

}  // namespace

CCommnetView::CCommnetView(QWidget* parent) : CTabChildView(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  auto* caption = new QLabel("&Comment", this);
  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName("Edit1011");
  edit_->setAccessibleName("Comment");
  edit_->setTabChangesFocus(true);
  caption->setBuddy(edit_);
  layout->addWidget(caption);
  layout->addWidget(edit_, 1);
  setFocusProxy(edit_);
  connect(edit_, &QPlainTextEdit::textChanged, this, &CCommnetView::OnChangeEditComment);
}

void CCommnetView::ShowComment(const std::string& comment) {
  comment_ = comment;
  filling_ = true;
  edit_->setPlainText(ToEditor(comment_));
  filling_ = false;
}

int CCommnetView::RefreshView(int) {
  using namespace qmx::views;
  if (!Host().workspace) return 0;
  Wrapper* object = SelectedObject("CommnetView-RefreshView");
  if (!object) return 0;
  ShowComment(CommentForEdit(object->title));
  return 1;
}

int CCommnetView::UpdateOnlineVals(int) { return qmx::views::Host().workspace ? 1 : 0; }

int CCommnetView::ClearView() {
  ShowComment({});
  return 1;
}

void CCommnetView::OnChangeEditComment() {
  using namespace qmx::views;
  if (filling_) return;
  comment_ = FromEditor(edit_->toPlainText());
  ProjectWorkspace* ws = Host().workspace;
  if (!ws) return;
  Wrapper* object = SelectedObject("CommnetView-OnChangeEditComment");
  if (!object) return;
  object->title = comment_;
  // A changed comment is project data: it must reach the next save.
  ws->SetProjectModified(1, nullptr);
}
