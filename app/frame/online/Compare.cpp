#include "app/frame/online/Compare.h"

#include "app/model/DataTypes.h"
#include "app/model/IOCatalogue.h"
#include "app/model/IODef.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "common/Utility.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr const char* kCompareOffline = "CompareOffline";

void LogBug(const std::string& text) { PostLog(qmx::kLogError, qmx::kLogSourceNoBlank, text); }

// The multi-byte value at `offset` as the host reads it, after the object's
// byte-order mode.
template <typename T>
T LoadValue(const uint8_t* image, int offset, int mode) {
  uint8_t bytes[sizeof(T)] = {};
  CopyBytesByOrder(bytes, image + offset, sizeof(T), mode);
  T value{};
  // The images are little-endian once put in order.
  uint64_t raw = 0;
  for (size_t i = sizeof(T); i-- > 0;) raw = (raw << 8) | bytes[i];
  if constexpr (sizeof(T) == 8) {
    std::memcpy(&value, &raw, 8);
  } else {
    const auto narrow = static_cast<std::conditional_t<sizeof(T) == 4, uint32_t, uint16_t>>(raw);
    std::memcpy(&value, &narrow, sizeof(T));
  }
  return value;
}

std::string OrderedBytes(const uint8_t* image, int offset, int size, int mode) {
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  CopyBytesByOrder(bytes.data(), image + offset, static_cast<uint16_t>(size), mode);
  return std::string(bytes.begin(), bytes.end());
}

// Bytes a value of the type takes in its image (0: bits inside one byte).
int ValueWidth(int type, int size) {
  switch (type) {
    case kDataTypeBit:
    case kDataTypeBitArea:
    case kDataTypeInteger8:
    case kDataTypeUnsigned8: return 1;
    case kDataTypeInteger16:
    case kDataTypeUnsigned16:
    case kDataTypeFloat16: return 2;
    case kDataTypeInteger32:
    case kDataTypeUnsigned32:
    case kDataTypeFloat32: return 4;
    case kDataTypeInteger64:
    case kDataTypeUnsigned64:
    case kDataTypeFloat64: return 8;
    default: return size;  // String, ByteArea, IPAddr and types without a rule: `size` bytes
  }
}

// The text of one side's value; `side` is "PRJ" or "ONLINE" for Float16.
std::string ValueText(int type, const uint8_t* image, int offset, const ParaItem& para, const Wrapper& object,
                      const char* side) {
  const int mode = object.GetByteOrderMode();
  switch (type) {
    case kDataTypeBit:
    case kDataTypeBitArea:
      return StrFormat("%d", GetBitFieldVal(image[offset], para.bitOffset, type == kDataTypeBit ? 1 : para.length));
    case kDataTypeInteger8: return StrFormat("%d", static_cast<int>(static_cast<int8_t>(image[offset])));
    case kDataTypeUnsigned8: return StrFormat("%hu", static_cast<unsigned short>(image[offset]));
    case kDataTypeInteger16: return StrFormat("%hd", LoadValue<int16_t>(image, offset, mode));
    case kDataTypeUnsigned16: return StrFormat("%u", static_cast<unsigned>(LoadValue<uint16_t>(image, offset, mode)));
    case kDataTypeInteger32: return StrFormat("%d", LoadValue<int32_t>(image, offset, mode));
    case kDataTypeUnsigned32: return StrFormat("%lu", static_cast<unsigned long>(LoadValue<uint32_t>(image, offset, mode)));
    case kDataTypeInteger64: return StrFormat("%lld", static_cast<long long>(LoadValue<int64_t>(image, offset, mode)));
    case kDataTypeUnsigned64:
      return StrFormat("%llu", static_cast<unsigned long long>(LoadValue<uint64_t>(image, offset, mode)));
    case kDataTypeFloat16: {
      std::string out;
      return object.ConvRawToFloatStr(out, LoadValue<uint16_t>(image, offset, mode), side, nullptr);
    }
    case kDataTypeFloat32: return StrFormat("%g", static_cast<double>(LoadValue<float>(image, offset, mode)));
    case kDataTypeFloat64: return StrFormat("%g", LoadValue<double>(image, offset, mode));
    case kDataTypeString: {
      std::string text = OrderedBytes(image, offset, para.length, mode);
      const size_t end = text.find('\0');
      if (end != std::string::npos) text.resize(end);
      return text;
    }
    case kDataTypeIPAddr: {
      const std::string bytes = OrderedBytes(image, offset, para.length, mode);
      std::string text;
      for (size_t i = 0; i < bytes.size(); ++i) {
        text += StrFormat(i ? ".%u" : "%u", static_cast<unsigned>(static_cast<uint8_t>(bytes[i])));
      }
      return text;
    }
    default: {  // ByteArea and types without a rule of their own
      const std::string bytes = OrderedBytes(image, offset, para.length, mode);
      return "0x" + BytesToHexStr(reinterpret_cast<const uint8_t*>(bytes.data()), para.length, 0);
    }
  }
}

// Whether the two sides hold the same value. Raw bytes decide, except that
// floating-point values compare by number (0.0 and -0.0 are the same value).
bool SameValue(int type, const uint8_t* a, const uint8_t* b, int offset, const ParaItem& para, int mode) {
  if (type == kDataTypeBit || type == kDataTypeBitArea) {
    const int width = type == kDataTypeBit ? 1 : para.length;
    return GetBitFieldVal(a[offset], para.bitOffset, width) == GetBitFieldVal(b[offset], para.bitOffset, width);
  }
  const int width = ValueWidth(type, para.length);
  if (std::memcmp(a + offset, b + offset, static_cast<size_t>(width)) == 0) return true;
  if (type == kDataTypeFloat32) return LoadValue<float>(a, offset, mode) == LoadValue<float>(b, offset, mode);
  if (type == kDataTypeFloat64) return LoadValue<double>(a, offset, mode) == LoadValue<double>(b, offset, mode);
  return false;
}

std::string LabelOf(const Wrapper& object, int viewMode) { return object.GetLabel(viewMode); }

}  // namespace

bool AdapterProductMatches(uint16_t project, uint16_t online) {
  return project == 0 || project == online || (project == 0x402 && online == 0x401);
}

int CompareEngine::ComareValue(const ParaItem& para, const uint8_t* offline, int offlineLength, const uint8_t* online,
                               int onlineLength, const Wrapper& object, std::string& offlineText,
                               std::string& onlineText) const {
  static const char* kFunc = "ComareValue";
  offlineText.clear();
  onlineText.clear();
  if (!offline) {
    LogBug(StrFormat("[Bug] Source pointer is NULL. Func: %s.", kFunc));
    return 0;
  }
  const int type = para.dataType;
  const int size = para.length;
  if (size == 0) {
    LogBug(StrFormat("[Bug] Invalid function parameter. wSize:%d, iByteOffset:%d, iBitOffset:%d. Func: %s.", size,
                     para.byteOffset, para.bitOffset, kFunc));
    return 0;
  }
  if (type == kDataTypeBit && size >= 2) {
    LogBug(StrFormat("[Bug] Invalid function parameter. Size must be 1 if Datatype is bit. Size:%d. Func: %s.", size,
                     kFunc));
    return 0;
  }
  if (type == kDataTypeBitArea && size < 2) {
    LogBug(StrFormat("[Bug] Invalid function parameter. Size must be greater than 1 if Datatype is BitArea. Size:%d. "
                     "Func: %s.",
                     size, kFunc));
    return 0;
  }
  if (type == kDataTypeBitArea && size + para.bitOffset > 8) {
    LogBug(StrFormat("[Bug] Invalid function parameter. Size+BitOffset must be less than 8 if Datatype is BitArea. "
                     "Size+BitOffset:%d. Func: %s.",
                     size + para.bitOffset, kFunc));
    return 0;
  }
  const bool sized = type == kDataTypeString || type == kDataTypeByteArea || type == kDataTypeIPAddr ||
                     type == kDataTypeBitArea || type < kDataTypeBit || type > kDataTypeIPAddr;
  if (!sized && size >= 2) {
    LogBug(StrFormat("[Bug] Invalid function parameter. Size must be 1 if Datatype is not BitArea or ByteArea or "
                     "String. Size:%d. Func: %s.",
                     size, kFunc));
    return 0;
  }
  if (type == kDataTypeBit && para.bitOffset > 7) {
    LogBug(StrFormat("[Bug] Invalid function parameter. wSize:%d, iByteOffset:%d, iBitOffset:%d. Func: %s.", size,
                     para.byteOffset, para.bitOffset, kFunc));
    return 0;
  }
  // A parameter that lies outside either image cannot be read on that side.
  const int end = para.byteOffset + ValueWidth(type, size);
  if (!online || end > offlineLength || end > onlineLength) {
    LogBug(StrFormat("[Bug] Invalid function parameter. wSize:%d, iByteOffset:%d, iBitOffset:%d. Func: %s.", size,
                     para.byteOffset, para.bitOffset, kFunc));
    return 0;
  }
  if (SameValue(type, offline, online, para.byteOffset, para, object.GetByteOrderMode())) return 1;
  offlineText = ValueText(type, offline, para.byteOffset, para, object, "PRJ");
  onlineText = ValueText(type, online, para.byteOffset, para, object, "ONLINE");
  return 0;
}

int CompareEngine::CompareAssignResult(const std::string& target, int imageKind, Wrapper* object,
                                       const uint8_t* online, int onlineLength, CompareResultList& results,
                                       int headerGiven) const {
  const bool isNA = CompareNoCase(target, "NA") == 0;
  const bool isIO = CompareNoCase(target, "IO") == 0;
  if (!isNA && !isIO) {
    LogBug(StrFormat("[Bug] Invalid argument. Target: %s. Func: %s.", target.c_str(), "CompareAssignResult"));
    return 0;
  }
  if (!object || !online) return 1;
  const std::vector<std::unique_ptr<ParaItem>>* list = nullptr;
  const std::vector<uint8_t>* offline = nullptr;
  const uint8_t* start = online;
  int startLength = onlineLength;
  bool changeableOnly = false;
  if (isIO) {
    auto* module = dynamic_cast<CIOUsr*>(object);
    if (imageKind != 0 || !module || !module->GetIODef() || module->ParaLength() <= 0) return 1;
    list = &module->GetIODef()->paraItems;
    offline = &module->paraImage();
  } else {
    auto* adapter = dynamic_cast<CNAUsr*>(object);
    if (!adapter || !adapter->GetNADef()) return 1;
    const NADef* def = adapter->GetNADef();
    const int offset = adapter->onlineOffsets[static_cast<size_t>(imageKind == 1 ? kOnlineMonInit : kOnlinePara)];
    if (offset < 0 || offset > onlineLength) return 1;
    if (imageKind == 1) {
      if (adapter->MonInitLength() <= 0 || def->blockItems[kMonInit].empty()) return 1;
      list = &def->blockItems[kMonInit];
      offline = &adapter->monInitImage();
      changeableOnly = true;
    } else if (imageKind == 0) {
      if (adapter->ParaLength() <= 0 || def->paraItems.empty()) return 1;
      list = &def->paraItems;
      offline = &adapter->paraImage();
    } else {
      return 1;
    }
    start = online + offset;
    startLength = onlineLength - offset;
  }
  const int viewMode = workspace_.namingMode;
  CompareResultList rows;
  for (const std::unique_ptr<ParaItem>& para : *list) {
    if (!para || (changeableOnly && para->changeable != 1)) continue;
    std::string offText, onText;
    if (ComareValue(*para, offline->data(), static_cast<int>(offline->size()), start, startLength, *object, offText,
                    onText) == 1) {
      continue;
    }
    std::string offDisplay = offText, onDisplay = onText;
    if (isIO) {
      auto* module = static_cast<CIOUsr*>(object);
      offDisplay = module->GetParaValForUsr(CIOUsr::kListDataIfCan, *para, offText);
      onDisplay = module->GetParaValForUsr(CIOUsr::kListDataIfCan, *para, onText);
    } else {
      auto* adapter = static_cast<CNAUsr*>(object);
      adapter->GetParaValForUsr(offDisplay, CIOUsr::kListDataIfCan, *para, offText);
      adapter->GetParaValForUsr(onDisplay, CIOUsr::kListDataIfCan, *para, onText);
    }
    const std::string name = para->displayText.empty() ? para->textId : para->displayText;
    rows.emplace_back(CompareResultItem::kParameter, 0, name, offDisplay, onDisplay, "Mismatch value");
  }
  if (rows.empty()) return 1;
  if (isIO || headerGiven == 0) {
    results.emplace_back(CompareResultItem::kParameter, 1, LabelOf(*object, viewMode), "", "", "");
  }
  results.insert(results.end(), rows.begin(), rows.end());
  return 2;
}

const IODef* CompareEngine::GetIODefByProductIdCat(uint16_t code, char letter, const std::string& func) const {
  if (const IODef* def = modules_.FindByProductCodeCat(code, letter)) return def;
  qmx::ReportError(qmx::err::kModuleDefinitionByCode,
                   StrFormat("Cannot find IO definition object. Product ID: %d.", code), func, qmx::FuncEnd::kStop,
                   qmx::kLogSourceNoBlank);
  return nullptr;
}

int CompareEngine::CompareOffline(CompareResultList& results, const std::string& kind, CNAUsr* adapter,
                                  TreeItem adapterItem, int /*configuration*/, int parameters) const {
  if (CompareNoCase(kind, "NA") != 0) {
    LogBug(StrFormat("[Bug] Invalid compare target. Target:%s. Func: %s.", kind.c_str(), kCompareOffline));
    return kCompareFailedResult;
  }
  if (!adapter) {
    LogBug(StrFormat("[Bug] Compare object pointer is null. Func: %s.", kCompareOffline));
    return kCompareFailedResult;
  }
  OnlineIOConfig* record = adapter->GetOnlineConfig(kCompareOffline, 0);
  if (!record) return kCompareFailedResult;
  const int viewMode = workspace_.namingMode;

  const uint16_t p = adapter->GetProductCode();
  const uint16_t q = record->productCode;
  if (!AdapterProductMatches(p, q)) {
    std::string onlineName, verdict = "Mismatch product";
    for (const auto& def : adapters_.definitions) {
      if (def && def->GetProductCode() == q) {
        onlineName = def->modelName;
        break;
      }
    }
    if (onlineName.empty()) {
      onlineName = StrFormat("0x%X", q);
      verdict = "Unknown product";
    }
    results.emplace_back(CompareResultItem::kConfig, 0, LabelOf(*adapter, viewMode), adapter->GetModelName(),
                         onlineName, verdict);
    adapter->ClearGettedOnlineConfig(record);
    return kCompareDifferent;
  }

  std::vector<CIOUsr*> modules;
  workspace_.CollectIOUsrs(adapterItem, modules, 0);
  const int n = static_cast<int>(modules.size());
  const size_t before = results.size();
  const int count = record->modules ? std::max(0, static_cast<int>(record->moduleCount)) : 0;
  for (int i = 1; i <= count; ++i) {
    const uint16_t code = record->modules[i - 1].productCode;
    if (i > n) {
      const IODef* def = nullptr;
      if (n > 0 && !modules[static_cast<size_t>(n - 1)]->GetDefCategory().empty()) {
        def = GetIODefByProductIdCat(code, modules[static_cast<size_t>(n - 1)]->GetDefCategory()[0], kCompareOffline);
      }
      results.emplace_back(CompareResultItem::kConfig, 0, "Non-exist offline", "X",
                           def ? def->modelName : StrFormat("0x%X", code), def ? "" : "Unknown product");
      continue;
    }
    CIOUsr* module = modules[static_cast<size_t>(i - 1)];
    if (!module) {
      LogBug(StrFormat("[Bug] Cannot find IO Usr Obj by index. OnIOSeq:%d. Func: %s.", i, kCompareOffline));
      continue;
    }
    if (module->GetProductCode() == code) continue;
    const std::string category = module->GetDefCategory();
    const IODef* def = category.empty() ? nullptr : GetIODefByProductIdCat(code, category[0], kCompareOffline);
    results.emplace_back(CompareResultItem::kConfig, 0, StrFormat("%s", module->GetLabel(viewMode).c_str()),
                         module->GetModelName(), def ? def->modelName : StrFormat("0x%X", code),
                         "Mismatch product");
  }
  for (int k = count + 1; k <= n; ++k) {
    CIOUsr* module = modules[static_cast<size_t>(k - 1)];
    if (!module) {
      LogBug(StrFormat("[Bug] Cannot find IO Usr Obj by index. iAddrPos:%d. Func: %s.", k, kCompareOffline));
      continue;
    }
    results.emplace_back(CompareResultItem::kConfig, 0, StrFormat("%02d: %s", module->GetPosNo(), "Non-exist online"),
                         module->GetModelName(), "X", "");
  }
  adapter->ClearGettedOnlineConfig(record);
  if (results.size() != before) return kCompareDifferent;
  if (parameters == 0) return kCompareEqual;

  // Parameters: the communication-init block first, then the whole
  // parameter image of the adapter and its modules.
  bool initDiffers = false;
  if (adapter->OnlineLength(kOnlineMonInit) >= 1) {
    const OnlineBytes block = adapter->ReadOnlineData(adapter, 0, kOnlineMonInit, 2, kCompareOffline, 0, 1);
    if (!block) return kCompareFailedResult;
    initDiffers = CompareAssignResult("NA", 1, adapter, block.data(), block.size(), results, 0) == 2;
  }
  if (adapter->OnlineLength(kOnlinePara) > 0 && adapter->OnlineImage(kOnlinePara)) {
    const OnlineBytes image = adapter->ReadOnlineData(adapter, 1, kOnlinePara, 2, kCompareOffline, 0, 1);
    if (!image) return kCompareFailedResult;
    const uint8_t* online = image.data();
    const int onlineLength = image.size();
    CompareAssignResult("NA", 0, adapter, online, onlineLength, results, initDiffers ? 1 : 0);
    for (CIOUsr* module : modules) {
      const int offset = module->onlineOffsets[kOnlinePara];
      const IODef* def = module->GetIODef();
      if (offset < 0 || module->ParaLength() <= 0 || !def || def->paraLength <= 0) continue;
      const int length = std::min(def->paraLength, module->ParaLength());
      if (offset + length > onlineLength) continue;
      if (std::memcmp(module->paraImage().data(), online + offset, static_cast<size_t>(length)) == 0) continue;
      CompareAssignResult("IO", 0, module, online + offset, onlineLength - offset, results, 0);
    }
  }
  return results.size() != before ? kCompareDifferent : kCompareEqual;
}

// ---------------------------------------------------------------------------
// Display texts of the adapter's information values

namespace {

// Pair k of the text; empty (a 0 byte) past the text's end, as a slot field
// shorter than four bytes reads.
std::string Pair(const std::string& value, int k) {
  const size_t at = static_cast<size_t>(2 * k);
  return at < value.size() ? value.substr(at, 2) : std::string();
}
uint8_t PairByte(const std::string& value, int k) { return HexPairAt(value, static_cast<size_t>(k)); }
std::string Bin(uint8_t byte) { return ByteToBinStr(byte, 1); }

// The expansion-slot count of the adapter's online communication-init block;
// -1 when it cannot be read.
int ExpansionSlotCount(CNAUsr* adapter) {
  if (!adapter || !adapter->GetNADef()) return -1;
  const ParaItem* para = adapter->GetNADef()->FindCommInitParaByID("T_ExpansionSlotNo");
  if (!para) return -1;
  const OnlineBytes block = adapter->ReadOnlineData(adapter, 0, kOnlineMonInit, 1, "GetCommBlockDisplayVal", 0, 1);
  if (!block) return -1;
  std::string text;
  if (adapter->GetUsrValFromOnlineMemory(text, block.data(), block.size(), "GetCommBlockDisplayVal", "", para->dataType,
                                         para->length, para->byteOffset, para->bitOffset, nullptr) != 1 ||
      IsStrEmpty(text, 1)) {
    return -1;
  }
  return std::max(0, std::atoi(text.c_str()));
}

}  // namespace

std::string GetCommBlockDisplayVal(const std::string& key, const std::string& value, CNAUsr* adapter,
                                   const std::string& language) {
  // The parameter view reads these values in its "HEX" form ("0x" and the
  // digits); the pairs count from the first digit.
  const bool prefixed = value.size() >= 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
  const std::string hex = prefixed ? value.substr(2) : value;
  auto needs = [&](size_t chars) {
    if (hex.size() >= chars) return true;
    LogBug(StrFormat("[Bug] Mismatch xml definition with src. Key: %s. Val: %s. Func:%s", key.c_str(), value.c_str(),
                     "GetCommBlockDisplayVal"));
    return false;
  };
  auto is = [&](const char* name) { return CompareNoCase(key, name) == 0; };
  if (is("Firmware")) {
    if (!needs(4)) return value;
    std::string text = StrFormat("%s.%s", Pair(hex, 0).c_str(), Pair(hex, 1).c_str());
    if (!text.empty() && text[0] == '0') text.erase(0, 1);
    return text;
  }
  if (is("FirmwareDate")) {
    if (!needs(8)) return value;
    if (CompareNoCase(language, "Eng") == 0) {
      return StrFormat("%s/%s/%s%s", Pair(hex, 2).c_str(), Pair(hex, 3).c_str(), Pair(hex, 0).c_str(),
                       Pair(hex, 1).c_str());
    }
    return StrFormat("%s%s/%s/%s", Pair(hex, 0).c_str(), Pair(hex, 1).c_str(), Pair(hex, 2).c_str(),
                     Pair(hex, 3).c_str());
  }
  if (is("SubnetMask") || is("GatewayAddress")) {
    if (!needs(8)) return value;
    return StrFormat("%d.%d.%d.%d", PairByte(hex, 3), PairByte(hex, 2), PairByte(hex, 1), PairByte(hex, 0));
  }
  if (is("MacAddress")) {
    if (!needs(12)) return value;
    return StrFormat("%s:%s:%s:%s:%s:%s", Pair(hex, 5).c_str(), Pair(hex, 4).c_str(), Pair(hex, 3).c_str(),
                     Pair(hex, 2).c_str(), Pair(hex, 1).c_str(), Pair(hex, 0).c_str());
  }
  if (is("DipSwitch")) {
    if (!needs(4)) return value;
    return StrFormat("Now:%s. DIP:%s", Bin(PairByte(hex, 1)).c_str(), Bin(PairByte(hex, 0)).c_str());
  }
  if (is("BusStatus")) {
    if (!needs(4)) return value;
    switch (PairByte(hex, 1) & 0x7F) {
      case 1: return "Standby";
      case 2: return "Communication Fault";
      case 3: return "Configuration Failed";
      case 4: return "No Expansion Slot";
      default: return "Normal";
    }
  }
  if (is("FieldPwrStatus")) {
    if (!needs(4)) return value;
    return (PairByte(hex, 1) & 0x80) ? "Field power OFF" : "Field power ON";
  }
  if (is("WatchdogErr")) {
    if (!needs(4)) return value;
    return (PairByte(hex, 0) & 0x80) ? "Error Watchdog" : "No Error";
  }
  if (is("InactiveSlots") || is("LiveSlots") || is("AlarmSlots")) {
    if (!needs(4)) return value;
    std::string text = StrFormat("%s %s %s %s", Bin(PairByte(hex, 3)).c_str(), Bin(PairByte(hex, 2)).c_str(),
                                 Bin(PairByte(hex, 1)).c_str(), Bin(PairByte(hex, 0)).c_str());
    const int slots = ExpansionSlotCount(adapter);
    if (slots >= 0) {
      const size_t keep = slots == 0 ? 0 : static_cast<size_t>(slots + (slots - 1) / 8);
      if (keep < text.size()) text.resize(keep);
    }
    return text;
  }
  if (is("IPaddress")) {
    if (!needs(7)) return value;
    int parts[4] = {};
    size_t start = 0;
    for (int& part : parts) {
      if (start > value.size()) break;
      const size_t dot = value.find('.', start);
      part = std::atoi(value.substr(start, dot == std::string::npos ? std::string::npos : dot - start).c_str());
      start = dot == std::string::npos ? value.size() + 1 : dot + 1;
    }
    return StrFormat("%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
  }
  return value;
}

// ---------------------------------------------------------------------------
// Definition look-ups

const void* GetDefByProductIdCat(const NACatalogue& adapters, const IOCatalogue& modules, const std::string& kind,
                                 char category, const std::string& busType, uint16_t code, int& iconIndex,
                                 std::string& modelName, int& busMismatch, const std::string& func, int showBox) {
  iconIndex = 0;
  modelName.clear();
  if (CompareNoCase(kind, "NA") == 0) {
    // The generic adapter template carries product code 0 and stands for no
    // product: a device is never taken for it, neither by a code 0 it
    // reports nor as the stand-in for a code the catalogue lacks, so an
    // unknown adapter stays unknown ("Undefined" in the scan, not created).
    for (const auto& def : adapters.definitions) {
      if (!def || def->GetProductCode() == 0 || def->GetProductCode() != code) continue;
      iconIndex = def->iconIdx;
      modelName = def->modelName;
      if (CompareNoCase(def->busType, busType) == 0) return def.get();
      if (def->busNumber <= 1) {
        busMismatch = 1;
        return nullptr;
      }
      for (const std::string& other : def->busTypes) {
        if (CompareNoCase(other, busType) == 0) return def.get();
      }
    }
    qmx::ReportError(qmx::err::kAdapterCodeUnknown, StrFormat("Cannot find NA having %d product ID.", code), func,
                     qmx::FuncEnd::kNoStop);
    if (showBox == 1) {
      qmx::ShowBox(StrFormat("Cannot find NA having %d product ID. Error Code: %d.", code,
                             qmx::err::kAdapterCodeUnknown),
                   qmx::kBoxIconStop);
    }
    return nullptr;
  }
  if (CompareNoCase(kind, "IO") == 0) {
    // By name, as the catalogue's map of definitions is ordered.
    std::vector<const IODef*> byName;
    for (const auto& def : modules.definitions()) byName.push_back(def.get());
    std::stable_sort(byName.begin(), byName.end(), [](const IODef* a, const IODef* b) { return a->ID < b->ID; });
    for (const IODef* def : byName) {
      if (def->GetProductCode() != code) continue;
      if (category != 0 && (def->category.empty() || def->category[0] != category)) continue;
      iconIndex = def->iconIdx;
      modelName = def->modelName;
      return def;
    }
    qmx::ReportError(qmx::err::kModuleCodeUnknown, StrFormat("Cannot find IO having %d product ID.", code), func,
                     qmx::FuncEnd::kNoStop);
    if (showBox == 1) {
      qmx::ShowBox(StrFormat("Cannot find IO having %d product ID. Error Code: %d.", code, qmx::err::kModuleCodeUnknown),
                   qmx::kBoxIconStop);
    }
    return nullptr;
  }
  qmx::ReportError(qmx::err::kInvalidModuleKind, "Invalid sModType.", func, qmx::FuncEnd::kNoStop);
  if (showBox == 1) {
    qmx::ShowBox(StrFormat("Invalid sModType. Error Code: %d.", qmx::err::kInvalidModuleKind), qmx::kBoxIconStop);
  }
  return nullptr;
}

bool GetMultiDropDriverFile(const NACatalogue& adapters, const std::string& busType, std::string& fileName,
                            int& typeCode) {
  fileName.clear();
  typeCode = kCommNone;
  auto usable = [](const CommDriverEntry& entry) {
    return !IsStrEmpty(entry.fileName, 1) && !IsStrEmpty(entry.fileType, 1);
  };
  const bool bitmapName = CompareNoCase(busType, "IDB_ModbusTCP") == 0 ||
                          CompareNoCase(busType, "IDB_Modbus232") == 0 ||
                          CompareNoCase(busType, "IDB_Modbus485") == 0;
  for (const auto& def : adapters.definitions) {
    if (!def) continue;
    if (def->busNumber == 1) {
      const CommDriverEntry& entry = def->driverEntries[0];
      if (CompareNoCase(busType, def->busType) == 0 && usable(entry)) {
        fileName = StrFormat("%s.%s", entry.fileName.c_str(), entry.fileType.c_str());
        typeCode = def->GetCommTypeCode(entry.commType);
        return true;
      }
    } else if (bitmapName) {
      const std::string wanted = NADef::GetCommTypeBitmapId(busType);
      for (int i = 0; i < def->driverEntryCount && i < kMaxCommDrivers; ++i) {
        const CommDriverEntry& entry = def->driverEntries[static_cast<size_t>(i)];
        if (CompareNoCase(wanted, entry.commType) == 0 && usable(entry)) {
          fileName = StrFormat("%s.%s", entry.fileName.c_str(), entry.fileType.c_str());
          typeCode = def->GetCommTypeCode(entry.commType);
          return true;
        }
      }
    }
  }
  return false;
}
