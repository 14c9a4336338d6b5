// The program's help window: the HTML pages of the program folder's Help
// folder in a browser with Contents, Back and Forward. Help topics name a
// page of the help file ("<folder>/QMX410Tools.chm::/<page>"); the window
// shows that page, or says which page is missing.
#pragma once

#include <QWidget>

#include <string>

class QPushButton;
class QTextBrowser;
class QUrl;

class CHelpWindow : public QWidget {
  Q_OBJECT
public:
  explicit CHelpWindow(QWidget* parent = nullptr);

  // Shows the page of a topic and brings the window to the front.
  void ShowTopic(const std::string& programFolder, const std::string& topic);
  QTextBrowser* browser() const { return browser_; }
  // The page file shown last (empty when it was missing).
  const std::string& currentFile() const { return current_; }

protected:
  // Escape closes the window, as it closes the program's other windows.
  void keyPressEvent(QKeyEvent* event) override;

private:
  void OnLink(const QUrl& url);

  QTextBrowser* browser_ = nullptr;
  QPushButton* contents_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* forward_ = nullptr;
  std::string folder_;
  std::string current_;
};
