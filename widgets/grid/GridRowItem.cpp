#include "widgets/grid/GridRowItem.h"

#include "widgets/grid/GridValueCheck.h"

namespace qmx::grid {

GridRowItem::GridRowItem(std::string first, int icon, int kind)
    : rowKind(kind), firstText(std::move(first)), iconIndex(icon) {}

void GridRowItem::SetOwnerObject(void* object, void* descriptor, const std::string& key) {
  ownerObject = object;
  itemDescriptor = descriptor;
  itemKey = key;
}

void GridRowItem::AddColumnText(const std::string& text, const std::string& definition) {
  columnTexts.push_back(text);
  initialTexts.push_back(text);
  definitions.push_back(definition);
}

std::string GridRowItem::GetColumnText(int n) const {
  if (n < 0 || n >= static_cast<int>(columnTexts.size())) return {};
  return columnTexts[static_cast<size_t>(n)];
}

void GridRowItem::SetColumnText(int n, const std::string& text) {
  if (n < 0) {
    firstText = text;
    return;
  }
  if (static_cast<size_t>(n) >= columnTexts.size()) columnTexts.resize(static_cast<size_t>(n) + 1);
  columnTexts[static_cast<size_t>(n)] = text;
}

void GridRowItem::SetChoiceList(int n, const std::vector<std::string>& list) { choiceLists[n] = list; }

const std::vector<std::string>* GridRowItem::GetChoiceList(int n) const {
  auto it = choiceLists.find(n);
  return it == choiceLists.end() ? nullptr : &it->second;
}

std::string GridRowItem::GetDefinition(int n) const {
  if (n < 0 || n >= static_cast<int>(definitions.size())) return {};
  return definitions[static_cast<size_t>(n)];
}

std::string GridRowItem::GetHintText(int n) const { return AllowedValueHint(GetDefinition(n)); }

bool GridRowItem::GetCellKind(int n, int* kind) const {
  auto it = cellKinds.find(n);
  if (it == cellKinds.end()) {
    if (kind) *kind = 0;
    return false;
  }
  if (kind) *kind = it->second;
  return true;
}

int GridRowItem::GetSubItemImage(int n) const {
  auto it = subItemImages.find(n);
  return it == subItemImages.end() ? -1 : it->second;
}

std::unique_ptr<GridRowItem> GridRowItem::Clone() const {
  auto copy = std::make_unique<GridRowItem>(firstText, iconIndex, rowKind);
  copy->columnTexts = columnTexts;
  copy->initialTexts = initialTexts;
  copy->definitions = definitions;
  copy->cellKinds = cellKinds;
  for (const auto& [n, list] : choiceLists)
    if (n >= 0 && n < static_cast<int>(columnTexts.size())) copy->choiceLists[n] = list;
  for (const auto& [n, image] : subItemImages)
    if (image != -1) copy->subItemImages[n] = image;
  copy->checkFlag = checkFlag;
  copy->ownerObject = ownerObject;
  copy->itemDescriptor = itemDescriptor;
  copy->backgroundColor = backgroundColor;
  copy->readOnly = readOnly;
  copy->itemKey = itemKey;
  copy->settingKey = settingKey;
  return copy;
}

}  // namespace qmx::grid
