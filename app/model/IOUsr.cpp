#include "app/model/IOUsr.h"

#include "app/model/AppOptions.h"
#include "app/model/DataTypes.h"
#include "app/model/Logging.h"
#include "common/Utility.h"

#include <algorithm>
#include <cstdio>

CIOUsr::CIOUsr() : Wrapper(kTypeIO) {}

CIOUsr::~CIOUsr() = default;

void CIOUsr::SetIODef(const IODef* definition) {
  definition_ = definition;
  defaultImage_.clear();
  if (!definition_) return;
  const int paraLength = definition_->paraLength;
  if (paraLength > 0) {
    defaultImage_.assign(static_cast<size_t>(paraLength), 0);
    const std::string& text = definition_->defaultParaText;
    if (!text.empty()) {
      // Pair k of the text into byte k, then into the image by the module's
      // byte order.
      std::vector<uint8_t> pairs(static_cast<size_t>(paraLength), 0);
      const size_t count = std::min(pairs.size(), text.size() / 2);
      for (size_t k = 0; k < count; ++k) pairs[k] = HexPairAt(text, k);
      CopyBytesByOrder(defaultImage_.data(), pairs.data(), static_cast<uint16_t>(pairs.size()), byteOrderMode_);
    }
  }
  CreateImages(paraLength, definition_->outputLength, defaultImage_.empty() ? nullptr : defaultImage_.data());
}

std::string CIOUsr::GetModelName() const { return definition_ ? definition_->modelName : std::string(); }
std::string CIOUsr::GetOrderNumber() const { return definition_ ? definition_->orderNumber : std::string(); }
std::string CIOUsr::GetInfoText() const { return definition_ ? definition_->infoText : std::string(); }
std::string CIOUsr::GetHelpLink() const { return definition_ ? definition_->helpLink : std::string(); }
std::string CIOUsr::GetGraphicFile() const { return definition_ ? definition_->graphicFile : std::string(); }
std::string CIOUsr::GetDescription() const { return definition_ ? definition_->description : std::string(); }
int CIOUsr::GetSize() const { return definition_ ? definition_->inputLength : 0; }
int CIOUsr::GetProductCode() const { return definition_ ? definition_->GetProductCode() : 0; }
int CIOUsr::CanCommunication() const { return definition_ ? definition_->canCommunication : 0; }
std::string CIOUsr::GetDefCategory() const { return definition_ ? definition_->category : std::string(); }
int CIOUsr::IsConvByParaUsed() const { return definition_ ? definition_->convByPara : 0; }

const std::vector<uint8_t>* CIOUsr::GetDefaultParaImage() const {
  return defaultImage_.empty() ? nullptr : &defaultImage_;
}

std::string CIOUsr::GetLabel(int viewMode) const {
  std::string text;
  if (viewMode == 1) {
    text = GetModelName();
  } else if (viewMode == 2) {
    text = GetDescription();
  } else {
    text = GetName();
  }
  char number[16];
  std::snprintf(number, sizeof number, "%02d: ", GetPosNo());
  return number + text;
}

std::string CIOUsr::GetValueText(const std::string& listName, const std::string& index) const {
  static const std::string kInvalid = "INVALID";
  if (IsStrEmpty(listName, 1) || IsStrEmpty(index, 1) || !definition_) return kInvalid;
  const ValueList* list = definition_->FindValueList(listName);
  if (!list) return kInvalid;
  const long long position = DecimalTextToInt64(index);
  if (position < 0 || position >= static_cast<long long>(list->size())) return kInvalid;
  return (*list)[static_cast<size_t>(position)].content;
}

std::string CIOUsr::GetParaValForUsr(const std::string& imageKind, const ParaItem& para,
                                     const std::string& value) const {
  static const char* kFunc = "GetParaValForUsr";
  std::string result = value;
  const std::string caller = StrFormat("%s:%s", GetModelName().c_str(), para.textId.c_str());
  if (imageKind != kListDataIfCan) {
    // The reader logs why a value cannot be read; the -1017 line points to it.
    std::string text;
    if (GetUsrValFromPrjMemory(text, imageKind, caller, "", para.dataType, para.length, para.byteOffset,
                               para.bitOffset, nullptr) == 1) {
      result = text;
    } else {
      qmx::ReportError(qmx::err::kSettingValueUnreadable, "Cannot get setting value. See below log in detail.", kFunc);
      result = StrFormat("%s", para.defaultValue.c_str());
    }
  }
  if (!para.valueItemTarget.empty() && definition_) {
    const ValueList* list = definition_->FindValueList(para.valueItemTarget);
    const ValueRecord* match = nullptr;
    if (list) {
      for (const ValueRecord& record : *list) {
        if (CompareNoCase(record.content, result) == 0) {
          match = &record;
          break;
        }
      }
    }
    if (match) {
      result = match->displayText;
    } else {
      PostLog(qmx::kLogError, qmx::kLogSource,
              StrFormat("[Bug] IO Parameter value does not exist in value list. Target: %s, Value: %s. Caller: %s. "
                        "Func: %s.",
                        para.valueItemTarget.c_str(), result.c_str(), caller.c_str(), kFunc));
    }
  }
  return result;
}
