#include "app/model/DescriptionReaders.h"

#include "app/model/DataTypes.h"
#include "app/model/IODef.h"
#include "app/model/Logging.h"
#include "app/model/NADef.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"
#include "platform/os/os.h"

#include <algorithm>
#include <filesystem>
#include <type_traits>

namespace fs = std::filesystem;
using qmx::reader::DecimalTextToInt;
using qmx::reader::IsBlankText;
using qmx::reader::IsCommentOrPi;
using qmx::reader::IsSkipped;
using qmx::reader::RequireAttribute;
using qmx::reader::RequireNode;

PooledText DisplayTextOrId(const TextIdMap& textIds, const PooledText& textId) {
  const PooledText text = GetTextIdTexts(textIds, textId).value;
  return IsStrEmpty(text, 1) ? textId : text;
}

int AssignSpecInfoXML(const qmx::xml::Node& node, SpecItem& item, const std::string& location,
                      const std::string& filePath, const TextIdMap& textIds) {
  if (!node) {
    qmx::reader::LogNodeMissing(qmx::kLogSourceNoBlank, location, "AssignSpecInfoXML", filePath);
    return 2;
  }
  if (IsCommentOrPi(node)) return 2;

  item.textId = RequireAttribute(node, "TextId");
  const TextIdEntry texts = GetTextIdTexts(textIds, item.textId);
  item.displayText = texts.value;
  item.description = texts.descValue;
  item.value = RequireAttribute(node, "Value");
  item.unit = RequireAttribute(node, "Unit");
  item.visible = StrToBool(RequireAttribute(node, "Visible"));
  if (IsStrEmpty(item.displayText, 1)) item.displayText = item.textId;
  return 1;
}

std::unique_ptr<IOItem> AssignIOItemXML(const std::string& kind, const qmx::xml::Node& node, uint16_t byteOffset,
                                        const TextIdMap& textIds, const ConvParaSource* adapterDef,
                                        const ConvParaSource* moduleDef) {
  if (!node || IsCommentOrPi(node)) return nullptr;

  auto item = std::make_unique<IOItem>(kind);
  item->textId = RequireAttribute(node, "TextId");
  item->displayText = DisplayTextOrId(textIds, item->textId);
  item->channelType = RequireAttribute(node, "ChannelType");
  item->dataType = GetDataTypeCode(RequireAttribute(node, "DataType"));
  item->length = static_cast<uint16_t>(DecimalTextToInt(RequireAttribute(node, "Length")));
  item->unit = RequireAttribute(node, "Unit");
  item->visible = StrToBool(RequireAttribute(node, "Visible"));
  item->byteOffset = byteOffset;

  if (std::optional<std::string> conversion = node.FindAttribute("Conversion")) {
    AssignConvInfo(*item, *conversion, adapterDef, moduleDef);
  }
  if (item->length == 0) {
    qmx::ReportError(qmx::err::kEmptyLength, StrFormat("Length is empty in XML. Name:%s.", item->textId.c_str()),
                     "AssignIOItemXML");
  }
  return item;
}

void ReadValueItem(const qmx::xml::Node& node, const TextIdMap& textIds, ValueListMap& lists) {
  const std::string id = RequireAttribute(node, "ID");
  std::vector<ValueRecord> list;
  for (const qmx::xml::Node& child : node.Children()) {
    if (IsCommentOrPi(child) || IsBlankText(child)) continue;
    ValueRecord record;
    record.content = RequireAttribute(child, "Content");
    record.textId = RequireAttribute(child, "TextId");
    record.displayText = DisplayTextOrId(textIds, record.textId);
    record.conversion = child.FindAttribute("Conversion").value_or("");
    record.unit = child.FindAttribute("Unit").value_or("");
    list.push_back(std::move(record));
  }
  lists[id] = ValueList(list);
}

std::unique_ptr<ParaItem> ReadParaItem(const qmx::xml::Node& node, ParaItemForm form, const char* category,
                                       const TextIdMap& textIds, std::string* dataTypeText) {
  auto item = std::make_unique<ParaItem>();
  item->category = category;
  item->textId = RequireAttribute(node, "TextId");
  if (form == ParaItemForm::kCommBlock) item->key = RequireAttribute(node, "Type");
  item->valueItemTarget = RequireAttribute(node, "ValueItemTarget");
  const std::string dataType = RequireAttribute(node, "DataType");
  item->dataType = GetDataTypeCode(dataType);
  if (dataTypeText) *dataTypeText = dataType;
  item->bitOffset = static_cast<uint16_t>(DecimalTextToInt(RequireAttribute(node, "BitOffset")));
  if (form == ParaItemForm::kParameter) {
    item->byteOffset = static_cast<uint16_t>(DecimalTextToInt(RequireAttribute(node, "ByteOffset")));
  }
  item->length = static_cast<uint16_t>(DecimalTextToInt(RequireAttribute(node, "Length")));
  item->defaultValue = RequireAttribute(node, "DefaultValue");
  item->changeable = StrToBool(RequireAttribute(node, "Changeable"));
  item->visible = StrToBool(RequireAttribute(node, "Visible"));
  item->AssignAllowedValues(RequireAttribute(node, "AllowedValues"), item->textId);
  item->displayText = DisplayTextOrId(textIds, item->textId);
  return item;
}

std::unique_ptr<ParaItem> ReadParameterRef(const qmx::xml::Node& node, const TextIdMap& textIds) {
  return ReadParaItem(node, ParaItemForm::kParameter, "PARA", textIds);
}

// ---- the shared sections of a device description ---------------------------------

const DescriptionSide kAdapterSide = {"/CouplerProfile/DeviceInfo", "ParseNA", "Adapter", false, true};
const DescriptionSide kModuleSide = {"/IOProfile/DeviceInfo", "ParseIO", "Module", true, false};

DescriptionReader::DescriptionReader(const DescriptionSide& side, const qmx::xml::Document& document,
                                     const TextIdMap& textIds, const std::string& path, std::string& location)
    : side_(side), document_(document), textIds_(textIds), path_(path), location_(location) {}

std::string DescriptionReader::Path(const char* section) const {
  return std::string(side_.deviceInfo) + "/" + section;
}

std::string DescriptionReader::Path(const char* section, const char* element) const {
  return Path(section) + "/" + element;
}

qmx::xml::Node DescriptionReader::ReadGeneralTexts(DeviceDef& def) {
  const std::string general = Path("General");
  // The module reader names the section, the adapter reader each element.
  auto element = [&](const char* name) {
    const std::string elementPath = general + "/" + name;
    location_ = side_.sectionLocations ? general : elementPath;
    return RequireNode(document_, elementPath);
  };
  qmx::xml::Node node = element("Name");
  def.modelNameTextId = RequireAttribute(node, "TextId");
  const TextIdEntry texts = GetTextIdTexts(textIds_, def.modelNameTextId);
  def.modelName = texts.value;
  def.description = texts.descValue;
  if (IsStrEmpty(def.modelName, 1)) def.modelName = def.modelNameTextId;

  node = element("InfoText");
  def.infoText = GetTextIdTexts(textIds_, RequireAttribute(node, "TextId")).value;
  if (IsStrEmpty(def.infoText, 1)) def.infoText = def.description;

  def.orderNumber = RequireAttribute(element("OrderNumber"), "Value");
  def.graphicFile = RequireAttribute(element("GraphicFile"), "Value");
  node = element("HelpLink");
  def.helpLink = RequireAttribute(node, "Value");
  return node;
}

void DescriptionReader::ReadSpecification(DeviceDef& def, const std::vector<SpecRow>& rows) {
  const std::string section = Path("Specification");
  for (const SpecRow& row : rows) {
    const std::string elementPath = section + "/" + row.element;
    location_ = side_.sectionLocations ? section : elementPath;
    const qmx::xml::Node node = document_.SelectSingleNode(elementPath);
    if (row.optional && !node) continue;
    AssignSpecInfoXML(node, *row.item, elementPath, path_, textIds_);
    if (row.item == &def.dimension) {
      def.dimensionHeight = RequireAttribute(node, "Height");
      def.dimensionWidth = RequireAttribute(node, "Width");
    }
  }
  location_ = section + "/Items/Ref";
  for (const qmx::xml::Node& node : document_.SelectNodes(location_)) {
    SpecItem item;
    if (AssignSpecInfoXML(node, item, location_, path_, textIds_) == 1) def.moreSpecItems.push_back(std::move(item));
  }
}

void DescriptionReader::ReadValueLists(ValueListMap& lists) {
  for (const qmx::xml::Node& node : document_.SelectNodes(Path("ValueList", "ValueItem"))) {
    if (IsSkipped(node)) continue;
    location_ = "Value List";
    ReadValueItem(node, textIds_, lists);
  }
}

int DescriptionReader::ImageLength(const qmx::xml::Node& node, const char* attribute,
                                   const std::string& section) const {
  const std::string text = RequireAttribute(node, attribute);
  const int length = DecimalTextToInt(text);
  if (length >= 0 && length <= kMaxImageLength) return length;
  qmx::ReportError(qmx::err::kValueNotAllowed,
                   StrFormat("Not allowed value in xml file. Value: %s. Loc: %s.", text.c_str(),
                             (section + "/@" + attribute).c_str()),
                   side_.function, qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
  return 0;
}

template <class Def>
int DescriptionReader::ReadParameters(Def& def) {
  const std::string parametersPath = Path("Parameters");
  location_ = parametersPath;
  const qmx::xml::Node parameters = document_.SelectSingleNode(parametersPath);
  if (!parameters) {
    qmx::reader::LogNodeMissing(qmx::kLogSourceNoBlank, parametersPath, side_.function, path_);
    return qmx::err::kNodeMissing;
  }
  const bool hasAttributes = !parameters.Attributes().empty();
  if (hasAttributes) {
    def.paraIndex = DecimalTextToInt(RequireAttribute(parameters, "Index"));
    def.paraLength = ImageLength(parameters, "Length", parametersPath);
  } else if (side_.attributesGateParameters) {
    return 1;
  }
  for (const char* required : {"Name", "Const"}) {
    const std::string elementPath = parametersPath + "/" + required;
    const qmx::xml::Node node = document_.SelectSingleNode(elementPath);
    if (!node) {
      qmx::reader::LogNodeMissing(qmx::kLogSourceNoBlank, elementPath, side_.function, path_);
      return qmx::err::kNodeMissing;
    }
    if (required[0] == 'N') {
      RequireAttribute(node, "TextId");  // read and not kept
    } else if constexpr (std::is_same_v<Def, NADef>) {
      def.AssignDefaultParaImage(RequireAttribute(node, "Data"));
    } else {
      def.AssignDefaultParaText(RequireAttribute(node, "Data"));
    }
  }
  const std::string refPath = parametersPath + "/Ref";
  for (const qmx::xml::Node& node : document_.SelectNodes(refPath)) {
    if (IsSkipped(node)) continue;
    location_ = side_.sectionLocations ? std::string("Parameters/Ref") : refPath;
    def.paraItems.push_back(ReadParameterRef(node, textIds_));
  }
  return 1;
}

template <class Def>
void DescriptionReader::ReadIOItems(Def& def, const char* element, const char* kind,
                                    std::vector<std::unique_ptr<IOItem>>& items) {
  location_ = Path("IOData", element);
  const qmx::xml::Node node = document_.SelectSingleNode(location_);
  if (!node) return;
  if constexpr (std::is_same_v<Def, IODef>) {
    int& channelSize = kind[0] == 'I' ? def.inputChannelSize : def.outputChannelSize;
    channelSize = DecimalTextToInt(RequireAttribute(node, "OneChSize"));
  }
  const ConvParaSource source = def.ConvSource();
  const ConvParaSource* adapterDef = std::is_same_v<Def, NADef> ? &source : nullptr;
  const ConvParaSource* moduleDef = std::is_same_v<Def, NADef> ? nullptr : &source;
  int offset = 0;
  for (const qmx::xml::Node& child : node.Children()) {
    if (IsBlankText(child)) continue;
    std::unique_ptr<IOItem> item =
        AssignIOItemXML(kind, child, static_cast<uint16_t>(offset), textIds_, adapterDef, moduleDef);
    if (!item) continue;
    offset += GetDataTypeSize(item->dataType, item->length);
    items.push_back(std::move(item));
  }
}

template <class Def>
void DescriptionReader::ReadIOData(Def& def) {
  const std::string ioDataPath = Path("IOData");
  location_ = ioDataPath;
  const qmx::xml::Node ioData = document_.SelectSingleNode(ioDataPath);
  if (ioData && !ioData.Attributes().empty()) {
    def.inputLength = ImageLength(ioData, "InputLength", ioDataPath);
    def.outputLength = ImageLength(ioData, "OutputLength", ioDataPath);
  }
  ReadIOItems(def, "Input", "INPUT", def.inputItems);
  ReadIOItems(def, "Output", "OUTPUT", def.outputItems);
}

template int DescriptionReader::ReadParameters<NADef>(NADef&);
template int DescriptionReader::ReadParameters<IODef>(IODef&);
template void DescriptionReader::ReadIOData<NADef>(NADef&);
template void DescriptionReader::ReadIOData<IODef>(IODef&);

bool MayRegister(const DescriptionSide& side, const std::string& id, const std::string* keptFile,
                 const std::string& path) {
  if (IsStrEmpty(id, 1)) {
    // Definitions are saved and found again by their ID; without one they
    // could not be.
    qmx::ReportError(qmx::err::kValueNotAllowed,
                     StrFormat("%s ID is empty. The definition is not registered. xml file: %s.", side.definitionWord,
                               path.c_str()),
                     side.function);
    return false;
  }
  if (keptFile) {
    qmx::ReportError(qmx::err::kValueNotAllowed,
                     StrFormat("%s ID is defined twice. The first definition is kept. ID: %s. Kept: %s. xml file: %s.",
                               side.definitionWord, id.c_str(), keptFile->c_str(), path.c_str()),
                     side.function);
    return false;
  }
  return true;
}

// ---- the catalogue lists ------------------------------------------------------------

std::string CatalogueListPath(const std::string& programFolder, const char* listName) {
  const fs::path products = fs::path(programFolder) / "Products";
  if (std::optional<fs::path> found = qmx::os::FindFileNoCase(products, listName)) return found->string();
  return (products / listName).string();
}

std::string CatalogueDescriptionPath(const std::string& listPath, const char* kindFolder, const std::string& fileName) {
  std::string name = fileName;
  std::replace(name.begin(), name.end(), '\\', '/');
  const fs::path products = fs::path(listPath).parent_path();
  const fs::path exact = products / kindFolder / name;
  std::error_code ec;  // a name too long for the file system is simply not there
  if (fs::exists(exact, ec)) return exact.string();
  if (std::optional<fs::path> found = qmx::os::ResolvePathNoCase(products, fs::path(kindFolder) / name)) {
    return found->string();
  }
  return exact.string();
}

int WalkCatalogueList(const std::string& path, CatalogueListWalk& walk) {
  const auto read = [&](const qmx::xml::Document& document) {
    for (const qmx::xml::Node& group : document.SelectNodes(walk.groupsPath)) {
      if (IsSkipped(group)) continue;
      walk.onGroup(group);
      for (const qmx::xml::Node& child : group.Children()) {
        if (IsSkipped(child)) continue;
        walk.onChild(child);
      }
    }
  };
  return qmx::reader::ReadListFile(path, qmx::kLogSource, walk.function, walk.location, read, walk.root);
}
