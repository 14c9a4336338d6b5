// The row record of the grids and the column definition used to set them up.
// Toolkit-free: the owner fills a GridRowItem, hands it to the grid, and from
// then on the grid owns and frees it.
#pragma once

#include "widgets/grid/GridTypes.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qmx::grid {

// One column of a grid: title, width in pixels, read-only flag (0 editable).
struct GridColumnDef {
  std::string title;
  int width = 100;
  std::uint16_t readOnly = 0;
};

// One row. Value column n (counted from 0) is shown in list column n + 1;
// list column 0 shows the first text.
class GridRowItem {
public:
  explicit GridRowItem(std::string firstText = {}, int iconIndex = -1, int rowKind = 0);

  // The project-tree object whose value the row shows (opaque to the grid;
  // the program's frame services apply accepted edits to it) and the item
  // descriptor handed back with each accepted edit.
  void* ownerObject = nullptr;
  void* itemDescriptor = nullptr;
  int rowKind = 0;
  std::map<int, int> cellKinds;                         // value column -> kCellKind*
  std::map<int, std::vector<std::string>> choiceLists;  // value column -> choices
  std::string firstText;
  std::vector<std::string> columnTexts;
  int checkFlag = 0;
  int iconIndex = -1;                 // -1: chosen by the tree state
  std::map<int, int> subItemImages;   // value column -> sub-item image, -1 none
  GridColor backgroundColor = kNoColor;
  int readOnly = 0;                   // 1: no cell of the row is edited by keyboard
  std::vector<std::string> initialTexts;
  std::vector<std::string> definitions;  // allowed-value definition per value column
  std::string itemKey;
  std::string settingKey;

  void SetOwnerObject(void* object, void* descriptor, const std::string& key);
  void AddColumnText(const std::string& text, const std::string& definition = {});
  std::string GetColumnText(int n) const;
  // Sets column text n, growing the array as needed (negative n: the first text).
  void SetColumnText(int n, const std::string& text);
  void SetChoiceList(int n, const std::vector<std::string>& list);
  const std::vector<std::string>* GetChoiceList(int n) const;
  std::string GetDefinition(int n) const;
  // The hint that explains definition n (begins with a blank; empty without one).
  std::string GetHintText(int n) const;
  void SetItemKey(const std::string& key) { itemKey = key; }
  void SetSettingKey(const std::string& key) { settingKey = key; }
  // True and the kind when value column n has one; false and kind 0 otherwise.
  bool GetCellKind(int n, int* kind) const;
  // Sub-item image of value column n, -1 for none.
  int GetSubItemImage(int n) const;

  // A deep copy: texts, definitions, kinds, choice lists of the columns that
  // have texts, sub-item images, flags, keys and the owner object.
  std::unique_ptr<GridRowItem> Clone() const;
};

}  // namespace qmx::grid
