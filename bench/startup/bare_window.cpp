// The anchor of the start-up benchmark: a bare Qt Widgets main window with a
// menu bar and a status bar, as large as the main program makes its window
// on a first start, and nothing else.
#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

#include <algorithm>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Bare main window");
  for (const char* title : {"&File", "&Edit", "&View", "&Online", "&Tools", "&Help"}) {
    QMenu* menu = window.menuBar()->addMenu(title);
    for (const char* item : {"&New", "&Open...", "&Save", "&Close"}) menu->addAction(item);
  }
  window.statusBar()->showMessage("Ready");
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    window.resize(std::max(800, area.width() * 4 / 5), std::max(600, area.height() * 4 / 5));
    window.move(area.center() - window.rect().center());
  }
  window.show();
  return app.exec();
}
