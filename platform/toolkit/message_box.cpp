#include "platform/toolkit/message_box.h"

#include <QMessageBox>
#include <QString>

#include <mutex>

namespace qmx::toolkit {
namespace {

std::mutex g_script_mutex;
MessageBoxScript g_script;
std::string g_program_title = "QMX-410 Tools";

QMessageBox::Icon IconOf(unsigned flags) {
  switch (flags & 0xF0u) {
    case kMbIconStop: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconWarning: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

int ShowMessageBox(QWidget* parent, const std::string& text, const std::string& title, unsigned flags) {
  MessageBoxRequest request{text, title.empty() ? g_program_title : title, flags};
  MessageBoxScript script;
  {
    std::lock_guard lock(g_script_mutex);
    script = g_script;
  }
  if (script) return script(request);

  QMessageBox box(IconOf(flags), QString::fromStdString(request.title), QString::fromStdString(text),
                  QMessageBox::NoButton, parent);
  switch (flags & 0x0Fu) {
    case kMbOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case kMbYesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case kMbYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return kIdOk;
    case QMessageBox::Yes: return kIdYes;
    case QMessageBox::No: return kIdNo;
    default: return kIdCancel;
  }
}

MessageBoxScript SetMessageBoxScript(MessageBoxScript script) {
  std::lock_guard lock(g_script_mutex);
  std::swap(script, g_script);
  return script;
}

void SetProgramTitle(const std::string& title) { g_program_title = title; }

}  // namespace qmx::toolkit
