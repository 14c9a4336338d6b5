#include "app/model/IOCatalogue.h"

#include "app/model/AppOptions.h"
#include "app/model/DataTypes.h"
#include "app/model/Logging.h"
#include "common/Utility.h"
#include "platform/os/os.h"
#include "platform/xml/xml.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using qmx::reader::IsBlankText;
using qmx::reader::IsCommentOrPi;
using qmx::reader::RequireAttribute;
using qmx::reader::RequireNode;

namespace {

constexpr const char* kDeviceInfo = "/IOProfile/DeviceInfo";
constexpr const char* kGeneral = "/IOProfile/DeviceInfo/General";
constexpr const char* kSpecification = "/IOProfile/DeviceInfo/Specification";
constexpr const char* kParameters = "/IOProfile/DeviceInfo/Parameters";
constexpr const char* kIOData = "/IOProfile/DeviceInfo/IOData";

std::string Path(const char* section, const char* element) { return std::string(section) + "/" + element; }

bool Skipped(const qmx::xml::Node& node) { return IsCommentOrPi(node) || IsBlankText(node); }

// An image length of a description. The module list hands every length to
// the driver as a 16-bit number, so a length outside 0 to 65535 cannot be
// served: it is refused (-4001) and read as 0.
int ImageLength(const qmx::xml::Node& node, const char* attribute, const std::string& location) {
  const std::string text = RequireAttribute(node, attribute);
  const int length = DecimalTextToInt(text);
  if (length >= 0 && length <= 0xFFFF) return length;
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Error Code: %d] Not allowed value in xml file. Value: %s. Loc: %s. Func: %s.", -4001,
                    text.c_str(), (location + "/@" + attribute).c_str(), "ParseIO"));
  return 0;
}

void LogNodeMissing(const char* source, const std::string& element, const std::string& file) {
  PostLog(qmx::kLogError, source,
          StrFormat("[Error Code: %d] Node does not defined. Loc:%s. Func: %s. xml file: %s", -4000, element.c_str(),
                    "ParseIO", file.c_str()));
}

// One Input or Output element: its channel size and its items, each at the
// running offset of its list.
void ReadIOItems(const qmx::xml::Document& document, IODef& def, const TextIdMap& textIds, const char* element,
                 const char* kind, int& channelSize, std::vector<std::unique_ptr<IOItem>>& items,
                 std::string& location) {
  location = Path(kIOData, element);
  const qmx::xml::Node node = document.SelectSingleNode(location);
  if (!node) return;
  channelSize = DecimalTextToInt(RequireAttribute(node, "OneChSize"));
  const ConvParaSource source = def.ConvSource();
  int offset = 0;
  for (const qmx::xml::Node& child : node.Children()) {
    if (IsBlankText(child)) continue;
    std::unique_ptr<IOItem> item =
        AssignIOItemXML(kind, child, static_cast<uint16_t>(offset), textIds, nullptr, &source);
    if (!item) continue;
    offset += GetDataTypeSize(item->dataType, item->length);
    items.push_back(std::move(item));
  }
}

// Rows of one description; 1 read to the end, 0 without DeviceInfo, -4000
// without a required parameter element (both logged). XML failures are
// thrown.
int ReadIODescription(const qmx::xml::Document& document, IODef& def, const TextIdMap& textIds,
                      const std::string& path, std::string& location,
                      const std::function<void(IODef&)>& fillXdd) {
  // Identity.
  location = kDeviceInfo;
  const qmx::xml::Node info = document.SelectSingleNode(kDeviceInfo);
  if (!info) {
    LogNodeMissing(qmx::kLogSource, kDeviceInfo, path);
    return 0;
  }
  def.ID = RequireAttribute(info, "ID");
  def.productCodeText = RequireAttribute(info, "DeviceID");
  def.category = RequireAttribute(info, "Category");

  // General section.
  location = kGeneral;
  qmx::xml::Node node = RequireNode(document, Path(kGeneral, "Name"));
  def.modelNameTextId = RequireAttribute(node, "TextId");
  def.modelName = GetTextIdValue(textIds, def.modelNameTextId, def.description);
  if (IsStrEmpty(def.modelName, 1)) def.modelName = def.modelNameTextId;

  node = RequireNode(document, Path(kGeneral, "InfoText"));
  std::string unused;
  def.infoText = GetTextIdValue(textIds, RequireAttribute(node, "TextId"), unused);
  if (IsStrEmpty(def.infoText, 1)) def.infoText = def.description;

  def.orderNumber = RequireAttribute(RequireNode(document, Path(kGeneral, "OrderNumber")), "Value");
  def.graphicFile = RequireAttribute(RequireNode(document, Path(kGeneral, "GraphicFile")), "Value");
  def.helpLink = RequireAttribute(RequireNode(document, Path(kGeneral, "HelpLink")), "Value");
  if (const qmx::xml::Node keySpec = document.SelectSingleNode(Path(kGeneral, "KeySpec"))) {
    def.keySpec = RequireAttribute(keySpec, "Value");
  }

  const std::string featuresPath = Path(kGeneral, "Features");
  if (const qmx::xml::Node features = document.SelectSingleNode(featuresPath)) {
    def.addrMapPriority = RequireAttribute(features, "AddrMapPriority");
    def.canCommunication = StrToBool(RequireAttribute(features, "CanCommunication"));
    def.fieldPwrCutoffBefore = StrToBool(RequireAttribute(features, "FieldPwrCutoffBefore"));
    def.fieldPwrFreeNext = StrToBool(RequireAttribute(features, "FieldPwrFreeNext"));
    def.systemPwrExpansion = DecimalTextToInt(RequireAttribute(features, "SystemPwrExpansion"));
  } else {
    LogNodeMissing(qmx::kLogSource, featuresPath, path);
  }

  // Specification: a missing item is logged by the item reader and the
  // reading goes on; the dimension's own attributes need the element.
  location = kSpecification;
  struct SpecRow {
    const char* element;
    SpecItem* item;
  };
  const SpecRow rows[] = {
      {"HardwareVer", &def.hardwareVer}, {"PowerDissipation", &def.powerDissipation}, {"Dimension", &def.dimension},
      {"AllowedInSlots", &def.allowedInSlots}, {"FieldPower", &def.fieldPower},
  };
  for (const SpecRow& row : rows) {
    const std::string elementPath = Path(kSpecification, row.element);
    const qmx::xml::Node spec = document.SelectSingleNode(elementPath);
    AssignSpecInfoXML(spec, *row.item, elementPath, path, textIds);
    if (row.item == &def.dimension) {
      def.dimensionHeight = RequireAttribute(spec, "Height");
      def.dimensionWidth = RequireAttribute(spec, "Width");
    }
  }
  location = Path(kSpecification, "Items/Ref");
  for (const qmx::xml::Node& ref : document.SelectNodes(location)) {
    SpecItem item;
    if (AssignSpecInfoXML(ref, item, location, path, textIds) == 1) def.moreSpecItems.push_back(std::move(item));
  }

  // Value lists.
  for (const qmx::xml::Node& valueItem : document.SelectNodes(Path(kDeviceInfo, "ValueList/ValueItem"))) {
    if (Skipped(valueItem)) continue;
    location = "Value List";
    ReadValueItem(valueItem, textIds, def.valueLists);
  }

  // Parameters: the element, its Name and its Const are required.
  location = kParameters;
  const qmx::xml::Node parameters = document.SelectSingleNode(kParameters);
  if (!parameters) {
    LogNodeMissing(qmx::kLogSourceNoBlank, kParameters, path);
    return -4000;
  }
  if (!parameters.Attributes().empty()) {
    def.paraIndex = DecimalTextToInt(RequireAttribute(parameters, "Index"));
    def.paraLength = ImageLength(parameters, "Length", kParameters);
  }
  const std::string namePath = Path(kParameters, "Name");
  const qmx::xml::Node name = document.SelectSingleNode(namePath);
  if (!name) {
    LogNodeMissing(qmx::kLogSourceNoBlank, namePath, path);
    return -4000;
  }
  RequireAttribute(name, "TextId");  // read and not kept
  const std::string constPath = Path(kParameters, "Const");
  const qmx::xml::Node constant = document.SelectSingleNode(constPath);
  if (!constant) {
    LogNodeMissing(qmx::kLogSourceNoBlank, constPath, path);
    return -4000;
  }
  def.AssignDefaultParaText(RequireAttribute(constant, "Data"));
  for (const qmx::xml::Node& ref : document.SelectNodes(Path(kParameters, "Ref"))) {
    if (Skipped(ref)) continue;
    location = "Parameters/Ref";
    def.paraItems.push_back(ReadParameterRef(ref, textIds));
  }

  // I/O data.
  location = kIOData;
  const qmx::xml::Node ioData = document.SelectSingleNode(kIOData);
  if (ioData && !ioData.Attributes().empty()) {
    def.inputLength = ImageLength(ioData, "InputLength", kIOData);
    def.outputLength = ImageLength(ioData, "OutputLength", kIOData);
  }
  ReadIOItems(document, def, textIds, "Input", "INPUT", def.inputChannelSize, def.inputItems, location);
  ReadIOItems(document, def, textIds, "Output", "OUTPUT", def.outputChannelSize, def.outputItems, location);

  // The XDD object table of the "R" family.
  location = kDeviceInfo;
  const std::string category = RequireAttribute(info, "Category");
  if (!category.empty() && category[0] == 'R' && fillXdd) fillXdd(def);
  return 1;
}

void LogNotRegistered(const std::string& textId, const std::string& file) {
  PostLog(qmx::kLogError, qmx::kLogSource,
          StrFormat("[Warning: %d] Module definition is not registered. Its description was not read to the end. "
                    "TextId: %s. xml file: %s. Func: %s.",
                    -4000, textId.c_str(), file.c_str(), "ParseIOFiles"));
}

}  // namespace

// ---- the catalogue ---------------------------------------------------------------

int IOCatalogue::Register(std::unique_ptr<IODef> definition, const std::string& path) {
  if (!definition) return 0;
  if (IsStrEmpty(definition->ID, 1)) {
    // Modules are saved and found again by their ID; without one they could
    // not be.
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] Module ID is empty. The definition is not registered. xml file: %s. "
                      "Func: %s.",
                      -4001, path.c_str(), "ParseIO"));
    return 0;
  }
  if (const IODef* first = FindByID(definition->ID)) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] Module ID is defined twice. The first definition is kept. ID: %s. "
                      "Kept: %s. xml file: %s. Func: %s.",
                      -4001, definition->ID.c_str(), FileOf(first).c_str(), path.c_str(), "ParseIO"));
    return 0;
  }
  IODef* def = definition.get();
  definitions_.push_back(std::move(definition));
  files_.push_back(path);
  byId_[def->ID] = def;
  byProductCode_[def->GetProductCode()].push_back(def);
  return 1;
}

const IODef* IOCatalogue::FindByID(const std::string& id) const {
  const auto it = byId_.find(id);
  return it == byId_.end() ? nullptr : it->second;
}

const IODef* IOCatalogue::FindByProductCode(uint16_t code) const {
  const auto it = byProductCode_.find(code);
  return it == byProductCode_.end() || it->second.empty() ? nullptr : it->second.front();
}

const IODef* IOCatalogue::FindByProductCodeCat(uint16_t code, char familyLetter) const {
  const auto it = byProductCode_.find(code);
  if (it == byProductCode_.end()) return nullptr;
  for (const IODef* def : it->second) {
    if (!def->category.empty() && def->category[0] == familyLetter) return def;
  }
  return nullptr;
}

std::string IOCatalogue::FileOf(const IODef* definition) const {
  for (size_t i = 0; i < definitions_.size(); ++i) {
    if (definitions_[i].get() == definition) return files_[i];
  }
  return {};
}

void IOCatalogue::Clear() {
  groups.clear();
  byId_.clear();
  byProductCode_.clear();
  files_.clear();
  definitions_.clear();
}

std::string IOListPath(const std::string& programFolder) {
  const fs::path products = fs::path(programFolder) / "Products";
  if (std::optional<fs::path> found = qmx::os::FindFileNoCase(products, "listIO.xml")) return found->string();
  return (products / "listIO.xml").string();
}

std::string IODescriptionPath(const std::string& listPath, const std::string& fileName) {
  std::string name = fileName;
  std::replace(name.begin(), name.end(), '\\', '/');
  const fs::path products = fs::path(listPath).parent_path();
  const fs::path exact = products / "IO" / name;
  if (fs::exists(exact)) return exact.string();
  if (std::optional<fs::path> found = qmx::os::ResolvePathNoCase(products, fs::path("IO") / name)) {
    return found->string();
  }
  return exact.string();
}

// ---- the readers -----------------------------------------------------------------

int ParseIO(const std::string& path, int iconIdx, const TextIdMap& textIds, IODef& definition, bool& complete,
            const std::function<void(IODef&)>& fillXdd) {
  complete = false;
  qmx::reader::LogStartParsing(path);
  definition.iconIdx = iconIdx;

  // A file that is missing or not well-formed reads as an empty document,
  // which has no DeviceInfo.
  qmx::xml::Document document;
  try {
    document = qmx::xml::Document::LoadFile(path);
  } catch (const qmx::xml::XmlError&) {
    document = qmx::xml::Document();
  }

  std::string location = kDeviceInfo;
  try {
    const int rc = ReadIODescription(document, definition, textIds, path, location, fillXdd);
    if (rc != 1) return rc;  // without the end line
  } catch (const qmx::xml::XmlError& error) {
    qmx::reader::LogXmlException(qmx::kLogSource, error.what(), "ParseIO", location, path);
    qmx::reader::LogEndParsing(path, 1);
    return 1;
  }
  complete = true;
  qmx::reader::LogEndParsing(path, 1);
  return 1;
}

int ParseIO(const std::string& path, int iconIdx, const TextIdMap& textIds, IOCatalogue& catalogue,
            const IODef** registered) {
  if (registered) *registered = nullptr;
  auto definition = std::make_unique<IODef>();
  bool complete = false;
  const int rc = ParseIO(path, iconIdx, textIds, *definition, complete, catalogue.fillXddObjectTable);
  if (complete) {
    const IODef* def = definition.get();
    if (catalogue.Register(std::move(definition), path) == 1 && registered) *registered = def;
  }
  return rc;
}

int ParseIOFiles(const std::string& path, const TextIdMap& textIds, IOCatalogue& catalogue,
                 CatalogueToolBox* toolBox) {
  qmx::reader::LogStartParsing(path);
  qmx::xml::Document document;
  try {
    document = qmx::xml::Document::LoadFile(path);
  } catch (const qmx::xml::XmlError&) {
    qmx::reader::ReportLoadFailure(path);
    return 0;
  }

  std::string location = "/IOList/Group";
  try {
    for (const qmx::xml::Node& groupNode : document.SelectNodes("/IOList/Group")) {
      if (Skipped(groupNode)) continue;
      IOGroup group;
      group.Category = RequireAttribute(groupNode, "Category");
      const int iconIdx = DecimalTextToInt(RequireAttribute(groupNode, "IconIdx"));
      group.Title = GetTextIdValue(textIds, group.Category, group.Description);
      const int folder = toolBox ? toolBox->AddFolder(group.Title, 0) : -1;
      catalogue.groups.push_back(std::move(group));

      location = "ItemRef list";
      for (const qmx::xml::Node& child : groupNode.Children()) {
        if (Skipped(child)) continue;
        const std::string textId = RequireAttribute(child, "TextId");
        if (!StrToBool(RequireAttribute(child, "Available"))) {
          PostLog(qmx::kLogDeveloper, qmx::kLogSource,
                  StrFormat("[Info] Available IO is false. %s. Func: %s.", textId.c_str(), "ParseIOFiles"));
          continue;
        }
        std::string unused;
        const std::string name = GetTextIdValue(textIds, textId, unused);
        if (toolBox) toolBox->AddItem(folder, name, iconIdx, 0);
        const std::string file = IODescriptionPath(path, RequireAttribute(child, "DefineFileName"));

        auto definition = std::make_unique<IODef>();
        bool complete = false;
        ParseIO(file, iconIdx, textIds, *definition, complete, catalogue.fillXddObjectTable);
        if (!complete) {
          LogNotRegistered(textId, file);
          continue;
        }
        const IODef* def = definition.get();
        if (catalogue.Register(std::move(definition), file) == 1) catalogue.groups.back().Modules.push_back(def);
      }
    }
  } catch (const qmx::xml::XmlError& error) {
    qmx::reader::LogXmlException(qmx::kLogSource, error.what(), "ParseIOFiles", location, path);
  }
  qmx::reader::LogEndParsing(path, 1);
  return 1;
}
