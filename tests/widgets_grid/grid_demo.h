// Demonstration harness for the grid widgets: an owner window that sets a
// GridCtrl up in the owners' order, builds rows from short descriptions and
// records what the grid tells it (row notifications, owner hand-overs, log
// lines). Used by the widget tests only; not shipped.
#pragma once

#include "widgets/grid/GridCtrl.h"
#include "widgets/grid/GridHooks.h"

#include <QWidget>

#include <string>
#include <vector>

namespace qmx::grid::demo {

// One row of the demonstration.
struct DemoRow {
  DemoRow(std::string firstText, std::vector<std::string> valueTexts = {}, std::vector<std::string> defs = {},
          int readOnlyRow = 0)
      : first(std::move(firstText)), texts(std::move(valueTexts)), definitions(std::move(defs)),
        readOnly(readOnlyRow) {}
  std::string first;
  std::vector<std::string> texts;        // value columns
  std::vector<std::string> definitions;  // allowed-value definitions
  int readOnly = 0;
};

// The frame services of the demo: records every hand-over and answers the
// serial-settings and folder editors from preset answers.
class RecordingServices : public GridFrameServices {
public:
  struct Change {
    void* owner;
    std::string gridName, key;
    void* descriptor;
    std::string value;
  };
  std::vector<Change> changes;
  int serialCalls = 0, folderCalls = 0;
  std::string lastSerialPreset, lastFolderStart, lastFolderInstruction, lastFolderCaption;
  bool serialAnswer = true;
  std::string serialResult = "19200,8,NOPARITY,1";
  bool folderAnswer = true;
  std::string folderResult = "/tmp/chosen";

  void ChangedValueByUser(void* owner, const std::string& gridName, const std::string& key, void* descriptor,
                          const std::string& value) override;
  bool EditSerialSettings(QWidget* parent, const std::string& current, std::string& result) override;
  bool ChooseFolder(QWidget* parent, const std::string& caption, const std::string& instruction,
                    const std::string& start, std::string& result) override;
};

// Log lines posted through the grid's hooks while the object lives.
class LogCapture {
public:
  struct Line {
    int category;
    std::string source, text;
  };
  LogCapture();
  ~LogCapture();
  std::vector<Line> lines;
  std::vector<int> resourceLackCodes;
  std::vector<int> errorCodes;
};

class GridDemoOwner : public QWidget {
  Q_OBJECT

public:
  // Columns "Name" (editable), "Value" (editable), "Unit" (read-only).
  explicit GridDemoOwner(const GridPolicy& policy = MainProgramGridPolicy(), int imageWidthSelector = 0,
                         const std::string& gridName = "Parameters");
  ~GridDemoOwner() override;

  GridCtrl* grid() const { return grid_; }
  RecordingServices& services() { return services_; }
  // Row records received with the row notification, in order.
  const std::vector<GridRowItem*>& notifications() const { return notifications_; }
  void ClearNotifications() { notifications_.clear(); }

  GridTreeItem* AddRow(const DemoRow& row, GridTreeItem* parent = nullptr);
  // The owner object every demo row points to.
  void* OwnerObject() { return &ownerTag_; }

protected:
  bool event(QEvent* event) override;

private:
  GridCtrl* grid_ = nullptr;
  RecordingServices services_;
  std::vector<GridRowItem*> notifications_;
  int ownerTag_ = 0;
};

}  // namespace qmx::grid::demo
