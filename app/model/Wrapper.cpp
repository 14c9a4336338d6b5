#include "app/model/Wrapper.h"

#include "app/model/Logging.h"
#include "app/model/Services.h"
#include "common/Utility.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Gives `image` the length, with the source's bytes or zeros.
void FillImage(std::vector<uint8_t>& image, int length, const uint8_t* source) {
  image.assign(static_cast<size_t>(length), 0);
  if (source) std::memcpy(image.data(), source, image.size());
}

// Copies a default image over an image, as far as both reach.
void CopyDefault(std::vector<uint8_t>& image, const std::vector<uint8_t>* defaults) {
  if (!defaults || image.empty()) return;
  std::copy_n(defaults->begin(), std::min(image.size(), defaults->size()), image.begin());
}

}  // namespace

Wrapper::Wrapper(std::string typeTag) : typeTag_(std::move(typeTag)) {}

Wrapper::~Wrapper() = default;

bool Wrapper::IsType(const char* tag) const { return CompareNoCase(typeTag_, tag) == 0; }

int Wrapper::IsModule() const { return IsType(kTypeProject) || IsType(kTypeFolder) ? 0 : 1; }

void Wrapper::SetTitle(const std::string& text) { title = TrimStr(text); }

int Wrapper::GetPosNo() const {
  if (posNo <= 0) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Bug] Position no is below 0. Type:%s. Name:%s.", typeTag_.c_str(), GetName().c_str()));
  }
  return posNo;
}

std::string Wrapper::GetLabel(int viewMode) const {
  if (viewMode == 1) return GetModelName();
  if (viewMode == 2) return GetDescription();
  return GetName();
}

std::string Wrapper::GetValueText(const std::string& /*listName*/, const std::string& /*key*/) const {
  return "INVALID";
}

void Wrapper::CreateImages(int paraLength, int outputLength, const uint8_t* paraSource) {
  if (paraLength > 0) FillImage(para_, paraLength, paraSource);
  if (outputLength > 0) FillImage(output_, outputLength, nullptr);
}

void Wrapper::SetMonInitImage(int length, const uint8_t* source) {
  if (!IsType(kTypeNA) || length <= 0) return;
  FillImage(monInit_, length, source);
}

void Wrapper::ResetImagesToDefault() {
  if (IsType(kTypeNA)) {
    CopyDefault(para_, GetDefaultParaImage());
    CopyDefault(monInit_, GetDefaultMonInitImage());
  } else if (IsType(kTypeIO)) {
    CopyDefault(para_, GetDefaultParaImage());
  }
}

int Wrapper::SetHandles(int para, int monInit, int monFreq, int input, int output) {
  onlineOffsets = {para, monInit, monFreq, input, output};
  return 1;
}

int Wrapper::ClearChangedFlag() {
  if ((IsType(kTypeNA) || IsType(kTypeIO)) && changed == 1) {
    changed = 0;
    return 1;
  }
  return 0;
}

std::vector<uint8_t>* Wrapper::ImageOfKind(const std::string& imageKind) {
  if (imageKind == "PARA") return &para_;
  if (imageKind == "OUTPUT") return &output_;
  if (imageKind == "MON_INIT") return &monInit_;
  return nullptr;
}

const std::vector<uint8_t>* Wrapper::ImageOfKind(const std::string& imageKind) const {
  return const_cast<Wrapper*>(this)->ImageOfKind(imageKind);
}

std::vector<uint8_t>* Wrapper::ImageToWrite(const std::string& imageKind, const char* func) {
  std::vector<uint8_t>* image = ImageOfKind(imageKind);
  if (!image) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Invalid function parameter. sType must be PARA or OUTPUT. %s. Func: %s.",
                      imageKind.c_str(), func));
  }
  return image;
}

std::string Wrapper::GetImageHexStr(const std::string& imageKind) const {
  if (IsType(kTypeProject) || IsType(kTypeFolder)) return {};
  const std::vector<uint8_t>* image = ImageOfKind(imageKind);
  if (!image || image->empty()) return {};
  return BytesToHexStr(image->data(), static_cast<int>(image->size()), 0);
}

int Wrapper::GetParaIOSetValFromProject(const std::string& hexText, const std::string& imageKind, int imageLength,
                                        const std::vector<uint8_t>* defaultImage) {
  static const char* kFunc = "GetParaIOSetValFromProject";
  if (IsType(kTypeProject) || IsType(kTypeFolder)) return 2;
  const std::string text = TrimStr(hexText);
  if (imageKind == "MON_INIT" && !IsType(kTypeNA)) return 2;
  std::vector<uint8_t>* image = ImageToWrite(imageKind, kFunc);
  if (!image) return 2;
  if (imageLength <= 0 || image->empty()) return 2;
  if (imageLength > static_cast<int>(image->size())) {
    // The caller's length must be the image's; never write past it.
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Bug] Byte position is overflow. iSrcLen:%d, iLastPos:%d. Func: %s.",
                      static_cast<int>(image->size()), imageLength, kFunc));
    return 0;
  }

  if (!text.empty()) {
    if (text.size() != 2 * static_cast<size_t>(imageLength)) {
      PostLog(qmx::kLogError, qmx::kLogSource,
              StrFormat("[Mismatch version] Mismatch length. Saved value with SrcLen. %s. Func: %s.",
                        imageKind.c_str(), kFunc));
      return 0;
    }
    if (HexTextToImage(text, image->data(), imageLength) != 1) {
      // A saved image that is not hexadecimal text is refused as a whole.
      PostLog(qmx::kLogError, qmx::kLogSource,
              StrFormat("[Mismatch version] Invalid hexadecimal text. Saved value with %s. Func: %s.",
                        imageKind.c_str(), kFunc));
      return 0;
    }
    return 1;
  }

  if (imageKind == "PARA") {
    CopyDefault(*image, defaultImage);
  } else if (imageKind == "OUTPUT") {
    std::fill_n(image->begin(), imageLength, 0);
  }
  return 2;
}

// ---------------------------------------------------------------------------
// Hooks

AdapterLink* Wrapper::Adapter() const {
  if (IsType(kTypeNA)) return const_cast<AdapterLink*>(dynamic_cast<const AdapterLink*>(this));
  if (const auto& adapterOf = qmx::Services().adapterOf) return adapterOf(*this);
  return nullptr;
}

// ---------------------------------------------------------------------------
// Values by data type

namespace {

struct EncodeContext {
  const Wrapper* object;
  const IOItem* rule;
  bool output;
};

int EncodeFloat16(void* context, const std::string& text, uint16_t& raw) {
  const auto* c = static_cast<const EncodeContext*>(context);
  static const char* kFunc = "SetUsrValToPrjMemory";
  const int mode = GetAnalogValueMode();
  if (c->output && mode == kAnalogRawHex) {
    const std::string digits = HexDigitsOf(text, kTypedHexSeparators);
    if (!IsHexDigits(digits)) {
      PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
              StrFormat("[Error] Value is not a hexadecimal text. Value: %s. Func: %s.", text.c_str(), kFunc));
      return 0;
    }
    raw = static_cast<uint16_t>(HexPairAt(digits, 0) << 8 | HexPairAt(digits, 1));
    return 1;
  }
  if (c->output && mode == kAnalogRawDec) {
    raw = static_cast<uint16_t>(DecimalTextToInt64(text) & 0xFFFF);
    return 1;
  }
  if (!IsFloatStr(text)) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Error] Value is not a number. Value: %s. Func: %s.", text.c_str(), kFunc));
    return 0;
  }
  return c->object->ConvFloatToRawChecked(std::strtod(text.c_str(), nullptr), c->rule, raw);
}

struct DecodeContext {
  const Wrapper* object;
  const IOItem* rule;
  const char* context;
};

std::string DecodeFloat16(void* context, uint16_t raw) {
  const auto* c = static_cast<const DecodeContext*>(context);
  std::string out;
  return c->object->ConvRawToFloatStr(out, raw, c->context, c->rule);
}

}  // namespace

int Wrapper::SetUsrValToPrjMemory(const std::string& value, const std::string& imageKind, int dataType,
                                  uint16_t size, int byteOffset, int bitOffset, const IOItem* rule) {
  static const char* kFunc = "SetUsrValToPrjMemory";
  if (imageKind == "MON_INIT" && !IsType(kTypeNA)) return 2;
  std::vector<uint8_t>* image = ImageToWrite(imageKind, kFunc);
  if (!image) return 0;
  if (image->empty()) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Source pointer is NULL. %s. Func: %s.", imageKind.c_str(), kFunc));
    return 2;
  }
  const ItemAddress address{dataType, size, byteOffset, bitOffset};
  const int length = static_cast<int>(image->size());
  const int check = CheckValueAccess(kFunc, nullptr, length, address);
  if (check >= 0) return check;
  EncodeContext context{this, rule, imageKind == "OUTPUT"};
  // Work on a copy so a refused value leaves the image as it was.
  std::vector<uint8_t> copy = *image;
  const int result =
      WriteUserValue(copy.data(), length, address, value, GetByteOrderMode(), EncodeFloat16, &context, kFunc);
  if (result == 1) *image = std::move(copy);
  return result;
}

int Wrapper::GetUsrValFromPrjMemory(std::string& out, const std::string& imageKind, const std::string& caller,
                                    const std::string& displayMode, int dataType, uint16_t size, int byteOffset,
                                    int bitOffset, const IOItem* rule) const {
  static const char* kFunc = "GetUsrValFromPrjMemory";
  out.clear();
  if (imageKind == "MON_INIT" && !IsType(kTypeNA)) return 2;
  const std::vector<uint8_t>* image = ImageOfKind(imageKind);
  if (!image) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Invalid function parameter. sType must be PARA or OUTPUT. %s. Caller: %s. Func: %s.",
                      imageKind.c_str(), caller.c_str(), kFunc));
    return 0;
  }
  if (image->empty()) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Source pointer is NULL. %s. Caller: %s. Func: %s.", imageKind.c_str(), caller.c_str(),
                      kFunc));
    return 2;
  }
  const ItemAddress address{dataType, size, byteOffset, bitOffset};
  const int check = CheckValueAccess(kFunc, &caller, static_cast<int>(image->size()), address);
  if (check >= 0) return check;
  DecodeContext context{this, rule, "PRJ"};
  ReadUserValue(image->data(), address, displayMode, GetByteOrderMode(), false, DecodeFloat16, &context, out);
  return 1;
}

int Wrapper::GetUsrValFromOnlineMemory(std::string& out, const uint8_t* buffer, int length,
                                       const std::string& caller, const std::string& displayMode, int dataType,
                                       uint16_t size, int byteOffset, int bitOffset, const IOItem* rule) const {
  static const char* kFunc = "GetUsrValFromOnlineMemory";
  out.clear();
  if (!buffer) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Source pointer is NULL. Caller: %s. Func: %s.", caller.c_str(), kFunc));
    return 2;
  }
  const ItemAddress address{dataType, size, byteOffset, bitOffset};
  const int check = CheckValueAccess(kFunc, &caller, length, address);
  if (check >= 0) return check;
  DecodeContext context{this, rule, "ONLINE"};
  ReadUserValue(buffer, address, displayMode, GetByteOrderMode(), true, DecodeFloat16, &context, out);
  return 1;
}

OnlineBytes Wrapper::OnlineParaBytes(const char* caller) const {
  AdapterLink* adapter = Adapter();
  if (!adapter || !adapter->HasOnlinePara()) return {};
  return adapter->OnlineParaOf(*this, caller);
}

std::string Wrapper::SelectingParaText(const ParaItem& para, bool online, const char* caller) const {
  std::string text;
  if (!online) {
    GetUsrValFromPrjMemory(text, "PARA", caller, "", para.dataType, para.length, para.byteOffset, para.bitOffset,
                           nullptr);
    return text;
  }
  const OnlineBytes bytes = OnlineParaBytes(caller);
  if (bytes) {
    GetUsrValFromOnlineMemory(text, bytes.data(), ParaLength(), caller, "", para.dataType, para.length, para.byteOffset,
                              para.bitOffset, nullptr);
  }
  return text;
}

ConvRuleState Wrapper::ActiveRule(const IOItem& item, const std::string& context) const {
  if (item.convKind != kConvByParaVal || !item.rangePara) return RuleStateOf(item);
  const bool online = context == "ONLINE";
  const auto key = std::make_pair(&item, online);
  auto it = convSelections_.find(key);
  if (it == convSelections_.end()) it = convSelections_.emplace(key, RuleStateOf(item)).first;
  const std::string text = SelectingParaText(*item.rangePara, online, "ConvRawToFloatStr");
  SelectRangesByPara(item, text, it->second);
  return it->second;
}

std::string Wrapper::ConvRawToFloatStr(std::string& out, uint16_t raw, const std::string& context,
                                       const IOItem* rule) const {
  if (rule && rule->convKind == kConvByParaVal && rule->rangePara && context != "PRJ" && context != "ONLINE") {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Bug] Invalid argument. Target Src: %s. Func: %s.", context.c_str(), "ConvRawToFloatStr"));
    // Nothing was read: the selection is told so (and logs it) and the ranges
    // last selected in the project stay in use.
    const auto it = convSelections_.find(std::make_pair(rule, false));
    ConvRuleState state = it != convSelections_.end() ? it->second : RuleStateOf(*rule);
    SelectRangesByPara(*rule, std::string(), state);
    out = ConvRawToText(raw, &state);
    return out;
  }
  if (!rule) {
    out = ConvRawToText(raw, nullptr);
    return out;
  }
  const ConvRuleState state = ActiveRule(*rule, context);
  out = ConvRawToText(raw, &state);
  return out;
}

int Wrapper::ConvFloatToRawChecked(double value, const IOItem* rule, uint16_t& raw) const {
  if (!rule) return ConvEngToRawChecked(value, nullptr, raw, "ConvFloatToRaw");
  const ConvRuleState state = ActiveRule(*rule, "PRJ");
  return ConvEngToRawChecked(value, &state, raw, "ConvFloatToRaw");
}

std::string Wrapper::GetUnit(std::string& out, const IOItem& item, const AdapterLink* adapter) const {
  static const char* kCaller = "Wrapper::GetUnit";
  if (!item.unitPara && !item.rangePara) {
    out = ConvRule::GetUnit(item);
    return out;
  }
  std::string prjRange;
  std::string prjUnit;
  std::string onRange;
  std::string onUnit;
  if (item.rangePara) prjRange = SelectingParaText(*item.rangePara, false, kCaller);
  if (item.unitPara) prjUnit = SelectingParaText(*item.unitPara, false, kCaller);
  const bool online = adapter && adapter->HasOnlinePara();
  if (online) {
    if (item.rangePara) onRange = SelectingParaText(*item.rangePara, true, kCaller);
    if (item.unitPara) onUnit = SelectingParaText(*item.unitPara, true, kCaller);
  }
  if (!prjRange.empty() || !prjUnit.empty()) {
    const std::string projectUnit = GetConvUnitRuleByPara(item, prjRange, prjUnit);
    std::string onlineUnit;
    if (adapter) onlineUnit = GetConvUnitRuleByPara(item, onRange, onUnit);
    out = onlineUnit.empty() ? StrFormat("(%s)", projectUnit.c_str())
                             : StrFormat("(%s) %s", projectUnit.c_str(), onlineUnit.c_str());
    return out;
  }
  out = StrFormat("(%s)", ConvRule::GetUnit(item).c_str());
  return out;
}

void Wrapper::ChagnedValueByUsr(const std::string& grid, const std::string& selection, const ParaItem* para,
                                const IOItem* ioItem, const std::string& value) {
  if (const auto& modified = qmx::Services().projectModified) modified(1);
  if (para && grid == "Parameters") {
    std::string text = value;
    if (!para->valueItemTarget.empty()) {
      text = GetValueText(para->valueItemTarget, selection);
      if (text == "INVALID") {
        PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
                StrFormat("[Bug] Cannot find combobox's sel in mapValueItems. Loc:%s. Func: %s.",
                          para->textId.c_str(), "ChagnedValueByUsr"));
        return;
      }
    }
    const int written = SetUsrValToPrjMemory(text, para->category, para->dataType, para->length, para->byteOffset,
                                             para->bitOffset, nullptr);
    if (written == 1 && para->convPara == 1) changed = 1;
    return;
  }
  if (ioItem && grid == "ProcessImg") {
    const int n = static_cast<int>(DecimalTextToInt64(selection));
    if (CompareNoCase(ioItem->channelType, "DI") == 0 || CompareNoCase(ioItem->channelType, "DO") == 0) {
      if (n < 0) return;
      SetUsrValToPrjMemory(value, "OUTPUT", kDataTypeBit, 1, ioItem->byteOffset + n / 8, n % 8, ioItem);
    } else {
      SetUsrValToPrjMemory(value, "OUTPUT", ioItem->dataType, ioItem->length, ioItem->byteOffset, n, ioItem);
    }
    return;
  }
  if (!ioItem && !para && grid == "ProcessImg" && selection == "ALL") {
    SetUsrValToPrjMemory(value, "OUTPUT", kDataTypeByteArea, static_cast<uint16_t>(OutputLength()), 0, 0, nullptr);
  }
}
