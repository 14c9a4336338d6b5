#include "app/model/NADef.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"

using qmx::reader::DecimalTextToInt;

namespace {

bool IsAcceptableCommType(const std::string& type) {
  static const char* kAcceptable[] = {"TCP", "RS232C", "RS422", "RS485", "Offline", ""};
  for (const char* name : kAcceptable) {
    if (CompareNoCase(type, name) == 0) return true;
  }
  return false;
}

}  // namespace

NADef::NADef() : DeviceDef("NADef") {}
NADef::~NADef() = default;

int NADef::GetCommTypeCode(const std::string& name) const {
  int code = kCommNone;
  if (CompareNoCase(name, "TCP") == 0) {
    code = kCommTcp;
  } else if (CompareNoCase(name, "RS232C") == 0) {
    code = kCommRs232c;
  } else if (CompareNoCase(name, "RS422") == 0) {
    code = kCommRs422;
  } else if (CompareNoCase(name, "RS485") == 0) {
    code = kCommRs485;
  }
  if (name == "NONE_DRIVER") return kCommNoDriver;
  const CommDriverEntry* entry = FindCommDriver(name);
  if (!entry || IsStrEmpty(entry->fileName, 1) || IsStrEmpty(entry->fileType, 1)) return kCommNoDriver;
  return code;
}

int NADef::CheckCommTypes() const {
  if (commTypeMap.empty()) return 0;
  if (DecimalTextToInt(driverCount) == 1) {
    return IsAcceptableCommType(commTypeMap.begin()->first) ? 1 : 0;
  }
  for (const auto& [type, entry] : commTypeMap) {
    if (IsAcceptableCommType(type)) return 1;
  }
  return 0;
}

std::string NADef::GetCommTypeBitmapId(const std::string& name) {
  if (CompareNoCase(name, "IDB_ModbusTCP") == 0) return "TCP";
  if (CompareNoCase(name, "IDB_UDP") == 0) return "UDP";
  if (CompareNoCase(name, "IDB_Modbus232") == 0) return "RS232C";
  if (CompareNoCase(name, "IDB_Modbus485") == 0) return "RS485";
  if (CompareNoCase(name, "IDB_Modbus422") == 0) return "RS422";
  return {};
}

void NADef::AssignDefaultParaImage(const std::string& text) {
  const std::string digits = DefaultParaDigits(text);
  if (digits.empty()) return;
  const std::vector<uint8_t> pairs = HexPairsToBytes(digits);
  defaultParaImage.assign(pairs.size(), 0);
  CopyBytesByOrder(defaultParaImage.data(), pairs.data(), static_cast<uint16_t>(pairs.size()), byteOrderMode);
}

void NADef::AssignCommBlockInitVal(int index) {
  static const char* kFunc = "AssignCommBlockInitVal";
  if (index != kMonInit) return;
  std::vector<uint8_t>& image = blockDefaultImage[kMonInit];
  if (blockLength[kMonInit] < 1) {
    image.clear();
    return;
  }
  // The image always has the block's current length, also when a block is
  // read again after more items were added to it.
  image.assign(static_cast<size_t>(blockLength[kMonInit]), 0);
  for (const std::unique_ptr<ParaItem>& item : blockItems[kMonInit]) {
    const int rc = WriteDefaultValue(image.data(), static_cast<int>(image.size()), item->byteOffset, item->dataType,
                                     item->length, item->defaultValue, byteOrderMode);
    if (rc == kDefaultUnsupported) {
      qmx::ReportError(qmx::err::kUnsupportedDataType,
                       StrFormat("Unsupported datatype in XML. %s.", GetDataTypeName(item->dataType).c_str()), kFunc,
                       qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
    } else if (rc == kDefaultDoesNotFit) {
      qmx::ReportError(qmx::err::kValueNotAllowed,
                       StrFormat("Default value does not fit in CommBlock. Key: %s. DataType: %s. Length: %d. "
                                 "ByteOffset: %d. BlockLength: %d.",
                                 item->key.c_str(), GetDataTypeName(item->dataType).c_str(), item->length,
                                 item->byteOffset, blockLength[kMonInit]),
                       kFunc, qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
    }
  }
}

const ParaItem* NADef::GetMonitoringMapInfo(int index, const std::string& key) const {
  if (index == kMonInit || index == kMonFreq) {
    for (const std::unique_ptr<ParaItem>& item : blockItems[static_cast<size_t>(index)]) {
      if (CompareNoCase(item->key, key) == 0) return item.get();
    }
  }
  qmx::ReportError(qmx::err::kCommBlockKeyMissing,
                   StrFormat("Cannot find CommBlock Key. Please define the key in XML. Key: %s.", key.c_str()),
                   "GetMonitoringMapInfo");
  return nullptr;
}

const ParaItem* NADef::FindCommInitParaByID(const std::string& textId) const {
  if (textId.empty()) return nullptr;
  for (const std::unique_ptr<ParaItem>& item : blockItems[kMonInit]) {
    if (CompareNoCase(item->textId, textId) == 0) return item.get();
  }
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Bug] Cannot find parameter Obj by ID. ID:%s. Func: %s.", textId.c_str(),
                    "NADef::FindCommInitParaByID"));
  return nullptr;
}

const CommDriverEntry* NADef::FindCommDriver(const std::string& commType) const {
  const auto it = commTypeMap.find(commType);
  return it == commTypeMap.end() ? nullptr : &it->second;
}

const std::vector<uint8_t>* NADef::DefaultParaImage() const {
  return defaultParaImage.empty() ? nullptr : &defaultParaImage;
}

const std::vector<uint8_t>* NADef::DefaultMonInitImage() const {
  return blockDefaultImage[kMonInit].empty() ? nullptr : &blockDefaultImage[kMonInit];
}
