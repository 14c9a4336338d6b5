// Print Setup: the page set-up dialog on a printer that lives while it runs.
#include <QDialog>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QWidget>

// Shows the dialog over `parent`, starting from `layout` when it is valid;
// the layout chosen replaces it when the user accepts. True when accepted.
extern "C" __attribute__((visibility("default"))) bool QmxRunPageSetup(QWidget* parent, QPageLayout* layout) {
  QPrinter printer;
  if (layout->isValid()) printer.setPageLayout(*layout);
  QPageSetupDialog dialog(&printer, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  *layout = printer.pageLayout();
  return true;
}
