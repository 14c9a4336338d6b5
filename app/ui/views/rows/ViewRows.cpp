#include "app/ui/views/rows/ViewRows.h"

#include "app/model/IODef.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "common/Utility.h"

#include <cctype>
#include <filesystem>
#include <memory>

namespace qmx::views {

namespace {

using ItemList = std::vector<std::unique_ptr<IOItem>>;
using ParaList = std::vector<std::unique_ptr<ParaItem>>;

const ItemList* ItemsOf(const Wrapper& object, bool input) {
  if (const auto* na = dynamic_cast<const CNAUsr*>(&object)) {
    const NADef* def = na->GetNADef();
    return def ? (input ? &def->inputItems : &def->outputItems) : nullptr;
  }
  if (const auto* io = dynamic_cast<const CIOUsr*>(&object)) {
    const IODef* def = io->GetIODef();
    return def ? (input ? &def->inputItems : &def->outputItems) : nullptr;
  }
  return nullptr;
}

const ParaList* ParasOf(const Wrapper& object, RowKind kind) {
  if (const auto* na = dynamic_cast<const CNAUsr*>(&object)) {
    const NADef* def = na->GetNADef();
    if (!def) return nullptr;
    return kind == RowKind::kCommInit ? &def->blockItems[kMonInit] : &def->paraItems;
  }
  if (const auto* io = dynamic_cast<const CIOUsr*>(&object)) {
    const IODef* def = io->GetIODef();
    return def && kind == RowKind::kParameter ? &def->paraItems : nullptr;
  }
  return nullptr;
}

const ValueListMap* ValueListsOf(const Wrapper& object) {
  if (const auto* na = dynamic_cast<const CNAUsr*>(&object)) return na->GetNADef() ? &na->GetNADef()->valueLists : nullptr;
  if (const auto* io = dynamic_cast<const CIOUsr*>(&object)) return io->GetIODef() ? &io->GetIODef()->valueLists : nullptr;
  return nullptr;
}

int IconOf(const Wrapper& object) {
  if (const auto* na = dynamic_cast<const CNAUsr*>(&object)) return na->GetNADef() ? na->GetNADef()->iconIdx : 0;
  if (const auto* io = dynamic_cast<const CIOUsr*>(&object)) return io->GetIODef() ? io->GetIODef()->iconIdx : 0;
  return 0;
}

std::string ItemName(const IOItem& item) { return item.displayText.empty() ? item.textId : item.displayText; }
std::string ParaName(const ParaItem& para) { return para.displayText.empty() ? para.textId : para.displayText; }

bool IsType(const IOItem& item, const char* type) { return CompareNoCase(item.channelType, type) == 0; }
bool IsBitItem(const IOItem& item, bool input) { return IsType(item, input ? "DI" : "DO") && item.length != 0; }
bool IsByteItem(const IOItem& item, bool input) { return IsType(item, input ? "BI" : "BO") && item.length != 0; }
bool IsAnalog(const IOItem& item) { return item.convKind == kConvLinear || item.convKind == kConvByParaVal; }

// The display format of an item's value: analog items follow the value mode.
std::string ItemFormat(const IOItem& item, bool input, int valueMode) {
  if (IsByteItem(item, input)) return "HEX";
  return IsAnalog(item) ? ValueModeFormat(valueMode) : std::string();
}

ViewRow ObjectRow(Wrapper& object, int viewMode) {
  ViewRow row;
  row.kind = RowKind::kObject;
  row.text = object.GetLabel(viewMode);
  row.icon = IconOf(object);
  row.readOnly = 1;
  return row;
}

ViewRow ItemRow(RowKind kind, Wrapper& object, const IOItem& item, const std::string& text, const std::string& key) {
  ViewRow row;
  row.kind = kind;
  row.parent = 0;
  row.text = text;
  row.object = &object;
  row.item = &item;
  row.key = key;
  row.columns.assign(4, std::string());
  row.definitions.assign(4, std::string());
  row.columns[kPiType] = item.channelType;
  return row;
}

void ReportUnreadableSetting(const char* func) {
  qmx::ReportError(qmx::err::kSettingValueUnreadable, "Cannot get setting value. See below log in detail.", func);
}

void ReportUnreadableOnline(const char* func) {
  qmx::ReportError(qmx::err::kOnlineValueUnreadable, "Cannot get online value. See below log in detail.", func,
                   qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
}

void AddItemRows(std::vector<ViewRow>& rows, Wrapper& object, bool input, int valueMode, CNAUsr* adapter,
                 const char* func) {
  const ItemList* items = ItemsOf(object, input);
  if (!items) return;
  const std::string model = object.GetModelName();
  for (const auto& owned : *items) {
    const IOItem& item = *owned;
    if (item.visible == 0) continue;
    const std::string name = ItemName(item);
    const std::string context = StrFormat("%s:%s", model.c_str(), name.c_str());
    if (IsBitItem(item, input)) {
      for (int b = 0; b < item.length; ++b) {
        ViewRow row = ItemRow(input ? RowKind::kInputBit : RowKind::kOutputBit, object, item,
                              StrFormat("%s #%02d", name.c_str(), b), StrFormat("%d", b));
        row.bit = b;
        row.columns[kPiUnit] = ConvRule::GetUnit(item);
        if (!input) {
          row.readOnly = 0;
          row.definitions[kPiProject] = "1,0,1";
          if (object.GetUsrValFromPrjMemory(row.columns[kPiProject], "OUTPUT", context, "", kDataTypeBit, 1,
                                            item.byteOffset + b / 8, b % 8, nullptr) != 1) {
            ReportUnreadableSetting(func);
          }
        }
        rows.push_back(std::move(row));
      }
      continue;
    }
    if (!input && IsByteItem(item, false)) {
      ViewRow row = ItemRow(RowKind::kByteOutput, object, item, name, "0");
      row.readOnly = 0;
      row.definitions[kPiProject] = StrFormat("4,%d,", 2 * item.length);
      row.columns[kPiUnit] = ConvRule::GetUnit(item);
      if (object.GetUsrValFromPrjMemory(row.columns[kPiProject], "OUTPUT", context, "HEX", item.dataType, item.length,
                                        item.byteOffset, 0, &item) != 1) {
        ReportUnreadableSetting(func);
      }
      rows.push_back(std::move(row));
      continue;
    }
    ViewRow row = ItemRow(input ? RowKind::kInputItem : RowKind::kOutputItem, object, item, name, "0");
    object.GetUnit(row.columns[kPiUnit], item, adapter);
    if (!input) {
      row.readOnly = 0;
      row.definitions[kPiProject] = OutputItemDefinition(item, valueMode);
      if (object.GetUsrValFromPrjMemory(row.columns[kPiProject], "OUTPUT", context, ItemFormat(item, false, valueMode),
                                        item.dataType, 1, item.byteOffset, 0, &item) != 1) {
        ReportUnreadableSetting(func);
      }
    }
    rows.push_back(std::move(row));
  }
}

ViewRow ModuleSummaryRow(CIOUsr& module, int viewMode, int parent) {
  static const char* kFunc = "ProcessImgView::InsertGridIOForNA";
  ViewRow row;
  row.kind = RowKind::kModuleSummary;
  row.parent = parent;
  row.text = module.GetLabel(viewMode);
  row.icon = IconOf(module);
  row.columns.assign(4, std::string());
  row.definitions.assign(4, std::string());
  row.columns[kPiType] = module.GetDefCategory();
  // The row names its module for the online refresh; only a module with
  // outputs takes edits.
  row.object = &module;
  row.key = "ALL";
  const int outputs = module.GetIODef() ? module.GetIODef()->outputLength : 0;
  if (outputs > 0) {
    row.readOnly = 0;
    row.definitions[kPiProject] = StrFormat("4,%d,", 2 * outputs);
    if (module.GetUsrValFromPrjMemory(row.columns[kPiProject], "OUTPUT", module.GetModelName(), "HEX",
                                      kDataTypeByteArea, static_cast<uint16_t>(outputs), 0, 0, nullptr) != 1) {
      ReportUnreadableSetting(kFunc);
    }
  }
  return row;
}

// Writes a text into a value column when it differs without regard to case.
void SetIfDiffers(std::vector<ViewRow>& rows, int index, int column, const std::string& text,
                  std::vector<CellChange>& changes) {
  std::string& cell = rows[static_cast<size_t>(index)].columns[static_cast<size_t>(column)];
  if (CompareNoCase(cell, text) == 0) return;
  cell = text;
  changes.push_back({index, column});
}

void RefreshItems(std::vector<ViewRow>& rows, Wrapper& object, CNAUsr* adapter, bool input, const uint8_t* bytes,
                  int length, int valueMode, std::vector<CellChange>& changes) {
  static const char* kFunc = "ProcessImgView::UpdateOnlineVals";
  const std::string model = object.GetModelName();
  for (size_t i = 0; i < rows.size(); ++i) {
    ViewRow& row = rows[i];
    if (row.object != &object || !row.item) continue;
    const bool rowInput = row.kind == RowKind::kInputItem || row.kind == RowKind::kInputBit;
    if (rowInput != input) continue;
    const IOItem& item = *row.item;
    const std::string context = StrFormat("%s:%s", model.c_str(), ItemName(item).c_str());
    std::string text;
    const int index = static_cast<int>(i);
    if (row.bit >= 0) {
      if (object.GetUsrValFromOnlineMemory(text, bytes, length, context, "", kDataTypeBit, 1,
                                           item.byteOffset + row.bit / 8, row.bit % 8, nullptr) != 1) {
        ReportUnreadableOnline(kFunc);
        continue;
      }
      SetIfDiffers(rows, index, kPiOnline, text, changes);
      continue;
    }
    if (object.GetUsrValFromOnlineMemory(text, bytes, length, context, ItemFormat(item, input, valueMode),
                                         item.dataType, 1, item.byteOffset, 0, &item) != 1) {
      ReportUnreadableOnline(kFunc);
      continue;
    }
    SetIfDiffers(rows, index, kPiOnline, text, changes);
    std::string unit;
    object.GetUnit(unit, item, adapter);
    SetIfDiffers(rows, index, kPiUnit, unit, changes);
  }
}

std::string ModuleHalf(CNAUsr& adapter, CIOUsr& module, int kind, int size, const std::string& context) {
  if (size <= 0) return {};
  std::string text;
  WithOnlineImage(adapter, module, kind, 1, context, [&](const uint8_t* bytes, int length) {
    if (module.GetUsrValFromOnlineMemory(text, bytes, length, context, "HEX", kDataTypeByteArea,
                                         static_cast<uint16_t>(size), 0, 0, nullptr) != 1) {
      text.clear();
    }
  });
  return text;
}

// The entry text of a value in the parameter's value list; the value itself
// when the list has no such entry or the parameter names no list.
std::string MapThroughList(const ParaItem& para, const ValueListMap* lists, const std::string& value) {
  if (para.valueItemTarget.empty() || !lists) return value;
  const auto it = lists->find(para.valueItemTarget);
  if (it == lists->end()) return value;
  for (const ValueRecord& record : it->second) {
    if (CompareNoCase(record.content, value) == 0) return record.displayText;
  }
  return value;
}

void AddParameterRows(std::vector<ViewRow>& rows, Wrapper& object, RowKind kind, const char* func) {
  const ParaList* paras = ParasOf(object, kind);
  if (!paras) return;
  const ValueListMap* lists = ValueListsOf(object);
  const std::string model = object.GetModelName();
  const char* image = kind == RowKind::kCommInit ? "MON_INIT" : "PARA";
  for (const auto& owned : *paras) {
    const ParaItem& para = *owned;
    if (para.visible == 0) continue;
    ViewRow row;
    row.kind = kind;
    row.parent = 0;
    row.text = ParaName(para);
    row.object = &object;
    row.para = &para;
    row.columns.assign(2, std::string());
    row.definitions.assign(2, std::string());
    if (para.changeable == 1) {
      const std::string context = StrFormat("%s:%s", model.c_str(), ParaName(para).c_str());
      std::string value;
      if (object.GetUsrValFromPrjMemory(value, image, context, para.dataType == kDataTypeByteArea ? "HEX" : "",
                                        para.dataType, para.length, para.byteOffset, para.bitOffset,
                                        nullptr) != 1) {
        ReportUnreadableSetting(func);
        value = StrFormat("%s", para.defaultValue.c_str());
      }
      row.definitions[kParaProject] = para.allowedValues;
      row.columns[kParaProject] = MapThroughList(para, lists, value);
      const bool monitored = object.monitoring == 1;
      row.readOnly = monitored ? 1 : 0;
      const auto list = lists && !para.valueItemTarget.empty() ? lists->find(para.valueItemTarget)
                                                               : ValueListMap::const_iterator();
      if (!monitored && lists && !para.valueItemTarget.empty() && list != lists->end()) {
        row.dropDownColumn = kParaProject;
        for (const ValueRecord& record : list->second) row.choices.push_back(record.displayText);
      }
    }
    rows.push_back(std::move(row));
  }
}

}  // namespace

void ClearOnlineColumn(std::vector<ViewRow>& rows, int column, std::vector<CellChange>& changes) {
  for (size_t i = 0; i < rows.size(); ++i) {
    if (static_cast<size_t>(column) < rows[i].columns.size()) SetIfDiffers(rows, static_cast<int>(i), column, "", changes);
  }
}

bool WithOnlineImage(CNAUsr& adapter, Wrapper& object, int kind, int logErrors, const std::string& caller,
                     const std::function<void(const uint8_t* bytes, int length)>& use) {
  // The view shares the adapter's image, so the bytes stay valid while `use`
  // runs even when a new module list replaces the image meanwhile.
  const OnlineBytes read = adapter.ReadOnlineData(&object, object.IsType(kTypeNA) ? 1 : 0, kind, 1, caller, 0,
                                                  logErrors);
  if (!read) return false;
  use(read.data(), read.size());
  return true;
}

// ---- process image -----------------------------------------------------------------

std::string ValueModeFormat(int valueMode) {
  if (valueMode == kAnalogRawDec) return "DEC";
  if (valueMode == kAnalogRawHex) return "HEX";
  return {};
}

std::string OutputItemDefinition(const IOItem& item, int valueMode) {
  if (!IsAnalog(item)) return "2,,";
  if (valueMode == kAnalogRawHex) return "4,4,";
  if (valueMode == kAnalogRawDec) {
    return StrFormat("1,%d,%d", static_cast<int>(item.rawLow), static_cast<int>(item.rawHigh));
  }
  return StrFormat("2,%2.2f,%2.2f", static_cast<double>(item.engLow), static_cast<double>(item.engHigh));
}

std::vector<ViewRow> BuildProcessImgRows(Wrapper& object, int viewMode, int valueMode,
                                         const std::vector<CIOUsr*>& modules, CNAUsr* adapter) {
  const bool isAdapter = object.IsType(kTypeNA);
  const char* func = isAdapter ? "ProcessImgView::InsertGridNA" : "ProcessImgView::InsertGridIO";
  std::vector<ViewRow> rows;
  rows.push_back(ObjectRow(object, viewMode));
  AddItemRows(rows, object, true, valueMode, adapter, func);
  AddItemRows(rows, object, false, valueMode, adapter, func);
  if (isAdapter) {
    for (CIOUsr* module : modules) {
      if (module) rows.push_back(ModuleSummaryRow(*module, viewMode, 0));
    }
  }
  return rows;
}

int RefreshProcessImgOnline(std::vector<ViewRow>& rows, Wrapper& object, CNAUsr& adapter, int quiet, int valueMode,
                            const std::vector<CIOUsr*>& communicating, std::vector<CellChange>& changes) {
  static const char* kFunc = "ProcessImgView::UpdateOnlineVals";
  if (!object.IsModule() || (!object.IsType(kTypeIO) && !object.IsType(kTypeNA))) return 2;
  for (const bool input : {true, false}) {
    const ItemList* items = ItemsOf(object, input);
    if (!items || items->empty()) continue;
    const bool read = WithOnlineImage(adapter, object, input ? kOnlineInput : kOnlineOutput, quiet ? 0 : 1, kFunc,
                                      [&](const uint8_t* bytes, int length) {
                                        RefreshItems(rows, object, &adapter, input, bytes, length, valueMode, changes);
                                      });
    if (!read) return 0;
  }
  if (!object.IsType(kTypeNA) || quiet != 0) return 1;
  for (CIOUsr* module : communicating) {
    if (!module || !module->GetIODef()) continue;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].kind != RowKind::kModuleSummary || rows[i].object != module) continue;
      const std::string context = StrFormat("%s in %s", rows[i].text.c_str(), kFunc);
      const std::string in = ModuleHalf(adapter, *module, kOnlineInput, module->GetIODef()->inputLength, context);
      const std::string out = ModuleHalf(adapter, *module, kOnlineOutput, module->GetIODef()->outputLength, context);
      std::string text = !in.empty() && !out.empty() ? StrFormat("%s / %s", in.c_str(), out.c_str()) : in + out;
      SetIfDiffers(rows, static_cast<int>(i), kPiOnline, text, changes);
    }
  }
  return 1;
}

void RefreshProcessImgUnits(std::vector<ViewRow>& rows, Wrapper& object, CNAUsr* adapter,
                            std::vector<CellChange>& changes) {
  if (!object.IsModule()) return;
  for (size_t i = 0; i < rows.size(); ++i) {
    const ViewRow& row = rows[i];
    if (row.object != &object || !row.item || row.bit >= 0) continue;
    const IOItem& item = *row.item;
    const bool input = row.kind == RowKind::kInputItem;
    if (item.length == 0 || IsType(item, input ? "DI" : "DO") || IsType(item, input ? "BI" : "BO")) continue;
    std::string unit;
    object.GetUnit(unit, item, adapter);
    SetIfDiffers(rows, static_cast<int>(i), kPiUnit, unit, changes);
  }
}

// ---- parameters ------------------------------------------------------------------------

std::vector<ViewRow> BuildParameterRows(Wrapper& object, int viewMode) {
  const bool isAdapter = object.IsType(kTypeNA);
  const char* func = isAdapter ? "ParametersView::InsertGridNA" : "ParametersView::InsertGridIO";
  std::vector<ViewRow> rows;
  rows.push_back(ObjectRow(object, viewMode));
  if (isAdapter) AddParameterRows(rows, object, RowKind::kCommInit, func);
  AddParameterRows(rows, object, RowKind::kParameter, func);
  return rows;
}

bool HasParameters(const Wrapper& object, RowKind kind) {
  const ParaList* paras = ParasOf(object, kind);
  return paras && !paras->empty();
}

void RefreshParameterOnline(std::vector<ViewRow>& rows, Wrapper& object, RowKind kind, const uint8_t* bytes,
                            int length, CommDisplayFn commDisplay, void* context, std::vector<CellChange>& changes) {
  static const char* kFunc = "ParametersView::UpdateOnlineVals";
  const ValueListMap* lists = ValueListsOf(object);
  const std::string model = object.GetModelName();
  for (size_t i = 0; i < rows.size(); ++i) {
    const ViewRow& row = rows[i];
    if (row.kind != kind || row.object != &object || !row.para) continue;
    const ParaItem& para = *row.para;
    const std::string label = StrFormat("%s:%s", model.c_str(), ParaName(para).c_str());
    std::string value;
    if (object.GetUsrValFromOnlineMemory(value, bytes, length, label, para.dataType == kDataTypeByteArea ? "HEX" : "",
                                         para.dataType, para.length, para.byteOffset, para.bitOffset,
                                         nullptr) != 1) {
      ReportUnreadableOnline(kFunc);
      continue;
    }
    std::string text = MapThroughList(para, lists, value);
    if (kind == RowKind::kCommInit) {
      if (commDisplay) text = commDisplay(context, para.key, text);
    } else if (para.convPara == 1) {
      object.changed = 1;
    }
    SetIfDiffers(rows, static_cast<int>(i), kParaOnline, text, changes);
  }
}

// ---- address map ----------------------------------------------------------------------

std::string AddrWordText(const AddressMapChannel& channel) {
  return StrFormat("0x%s/%s", IntToHexStr(channel.wordAddress, 4).c_str(), IntToHexStr(channel.bitInWord, 2).c_str());
}

std::string AddrBitText(const AddressMapChannel& channel) {
  return StrFormat("0x%s", IntToHexStr(channel.bitAddress, 4).c_str());
}

AddrMapTable BuildAddrMapTable(const AddressMapInfo* info) {
  AddrMapTable table;
  if (!info) return table;
  table.inputModeText = info->inputModeText ? info->inputModeText : "";
  table.outputModeText = info->outputModeText ? info->outputModeText : "";
  auto addRow = [&table](int parent, const std::string& text, int icon, std::vector<std::string> columns) {
    ViewRow row;
    row.parent = parent;
    row.text = text;
    row.icon = icon;
    row.columns = std::move(columns);
    row.definitions.assign(row.columns.size(), std::string());
    table.rows.push_back(std::move(row));
    return static_cast<int>(table.rows.size()) - 1;
  };
  for (int r = 0; r < info->rowCount; ++r) {
    const AddressMapRow* source = info->rows ? info->rows[r] : nullptr;
    if (!source) continue;
    const std::string label = StrFormat("%s", source->name ? source->name : "");
    const int inputs = source->inputs ? source->inputCount : 0;
    const int outputs = source->outputs ? source->outputCount : 0;
    if (inputs <= 0 && outputs <= 0) {
      addRow(-1, label, source->iconIndex, {});
      continue;
    }
    int moduleRow = -1;
    std::string firstOutWord, firstOutBit;
    const bool both = inputs > 0 && outputs > 0;
    if (both && source->outputs[0]) {
      firstOutWord = AddrWordText(*source->outputs[0]);
      firstOutBit = AddrBitText(*source->outputs[0]);
    }
    for (int i = 0; i < inputs; ++i) {
      const AddressMapChannel* channel = source->inputs[i];
      if (!channel) continue;
      std::vector<std::string> columns = {StrFormat("%d", i), AddrWordText(*channel), AddrBitText(*channel)};
      if (moduleRow < 0) {
        if (both) {
          columns.push_back(firstOutWord);
          columns.push_back(firstOutBit);
        }
        moduleRow = addRow(-1, label, source->iconIndex, std::move(columns));
      } else {
        addRow(moduleRow, "", kChannelRowIcon, std::move(columns));
      }
    }
    for (int j = 0; j < outputs; ++j) {
      const AddressMapChannel* channel = source->outputs[j];
      if (!channel) continue;
      std::vector<std::string> columns = {StrFormat("%d", j), "", "", AddrWordText(*channel), AddrBitText(*channel)};
      if (moduleRow >= 0) addRow(moduleRow, "", kChannelRowIcon, std::move(columns));
      else moduleRow = addRow(-1, label, source->iconIndex, std::move(columns));
    }
  }
  return table;
}

// ---- image view ------------------------------------------------------------------------

long LeadingNumber(const std::string& text) {
  long value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string FindFileNoCase(const std::string& folder, const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exact = fs::path(folder) / name;
  if (fs::is_regular_file(exact, ec)) return exact.string();
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (CompareNoCase(it->path().filename().string(), name) == 0 && it->is_regular_file(ec)) return it->path().string();
  }
  return {};
}

std::string FindPicture(const std::string& imageDir, const std::string& stem, bool off) {
  if (stem.empty()) return {};
  return FindFileNoCase(imageDir, stem + (off ? "-OFF" : "") + ".bmp");
}

std::string DefaultPicture(const std::string& imageDir) {
  const std::string found = FindFileNoCase(imageDir, "KA-xxxx-x.bmp");
  return found.empty() ? imageDir + "/KA-xxxx-x.bmp" : found;
}

namespace {

ImagePicture Picture(Wrapper& object, const std::string& imageDir, bool off, const std::string& label) {
  ImagePicture picture;
  const std::string stem = object.GetGraphicFile();
  picture.file = FindPicture(imageDir, stem, off);
  if (picture.file.empty()) picture.file = imageDir + "/" + stem + (off ? "-OFF" : "") + ".bmp";
  picture.caption = object.GetModelName();
  picture.label = label;
  picture.object = &object;
  return picture;
}

std::string SpecificationText(const Wrapper& object) {
  if (const auto* io = dynamic_cast<const CIOUsr*>(&object)) {
    const IODef* def = io->GetIODef();
    if (!def) return {};
    return def->keySpec.empty() ? def->description : def->keySpec;
  }
  if (const auto* na = dynamic_cast<const CNAUsr*>(&object)) return na->GetNADef() ? na->GetNADef()->description.str() : "";
  return {};
}

}  // namespace

ImageModel BuildImageModel(Wrapper& object, CNAUsr* adapter, const std::vector<CIOUsr*>& modules, int viewMode,
                           int commState, const std::string& imageDir) {
  ImageModel model;
  if (!object.IsModule()) return model;
  model.adapterKnown = adapter != nullptr;
  model.fault = adapter && adapter->monitoring == 1 && commState == 2;
  ImageTexts& t = model.texts;
  t.title = StrFormat("%s", object.GetLabel(viewMode).c_str());
  t.descCaption = "Description";
  t.description = StrFormat("%s", object.GetInfoText().c_str());
  auto* na = dynamic_cast<CNAUsr*>(&object);
  if (na) {
    model.pictures.push_back(Picture(*na, imageDir, model.fault, ""));
    const NADef* def = na->GetNADef();
    long supply = def ? LeadingNumber(def->maxPowerForIOs.value) : 0;
    long consumption = 0;
    long length = def ? LeadingNumber(def->dimension.value) : 0;
    int k = 0;
    for (CIOUsr* module : modules) {
      if (!module) continue;
      ++k;
      model.pictures.push_back(Picture(*module, imageDir, model.fault, StrFormat("%d", k)));
      if (const IODef* io = module->GetIODef()) {
        supply += io->systemPwrExpansion;
        consumption += LeadingNumber(io->powerDissipation.value);
        length += LeadingNumber(io->dimension.value);
      }
    }
    if (k > 0) {
      t.firstCaption = "Total Current";
      t.firstText = StrFormat("%ld mA (Max. %ld mA @ 5VDC)", consumption, supply);
      t.secondCaption = "Total Size";
      t.secondText = StrFormat("Width: %s, Height: %s, Length: %ld (mm)", def ? def->dimensionWidth.c_str() : "",
                               def ? def->dimensionHeight.c_str() : "", length);
    } else {
      t.firstCaption = "Specification";
      t.firstText = StrFormat("%s", SpecificationText(*na).c_str());
      t.secondCaption = "Comm. Info";
      t.secondText = StrFormat("%s", na->GetCommAddress().c_str());
    }
    return model;
  }
  auto* module = dynamic_cast<CIOUsr*>(&object);
  model.pictures.push_back(Picture(object, imageDir, model.fault, StrFormat("%d", object.GetPosNo())));
  t.firstCaption = "Specification";
  t.firstText = StrFormat("%s", SpecificationText(object).c_str());
  const std::string power = module && module->GetIODef() ? module->GetIODef()->powerDissipation.value.str() : "";
  t.secondText = StrFormat("Power Dissipation: Max. %s mA @ 5.0Vdc", power.c_str());
  return model;
}

// ---- comment ------------------------------------------------------------------------------

std::string CommentForEdit(const std::string& title) {
  std::string out;
  out.reserve(title.size());
  for (size_t i = 0; i < title.size(); ++i) {
    if (title[i] == '\n' && i + 1 < title.size() && title[i + 1] == '\n') {
      out += "\r\n";
      ++i;
    } else {
      out += title[i];
    }
  }
  return out;
}

}  // namespace qmx::views
