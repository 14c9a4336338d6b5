#include "app/model/NACatalogue.h"

#include "app/model/AppOptions.h"
#include "app/model/DataTypes.h"
#include "app/model/Logging.h"
#include "common/Utility.h"
#include "platform/os/os.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using qmx::reader::IsBlankText;
using qmx::reader::IsCommentOrPi;
using qmx::reader::RequireAttribute;
using qmx::reader::RequireNode;

namespace {

constexpr const char* kDeviceInfo = "/CouplerProfile/DeviceInfo";
constexpr const char* kGeneral = "/CouplerProfile/DeviceInfo/General";
constexpr const char* kSpecification = "/CouplerProfile/DeviceInfo/Specification";
constexpr const char* kParameters = "/CouplerProfile/DeviceInfo/Parameters";
constexpr const char* kIOData = "/CouplerProfile/DeviceInfo/IOData";

std::string Path(const char* section, const char* element) { return std::string(section) + "/" + element; }

bool Skipped(const qmx::xml::Node& node) { return IsCommentOrPi(node) || IsBlankText(node); }

void LogNodeMissing(const std::string& element, const std::string& function, const std::string& file) {
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Error Code: %d] Node does not defined. Loc:%s. Func: %s. xml file: %s", -4000, element.c_str(),
                    function.c_str(), file.c_str()));
}

void LogNotAllowed(const std::string& value, const std::string& location) {
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Error Code: %d] Not allowed value in xml file. Value: %s. Loc: %s. Func: %s.", -4001,
                    value.c_str(), location.c_str(), "MultiParseNAofCommDrivers"));
}

// One item of a monitoring block: TextId, Type, ValueItemTarget, DataType,
// BitOffset, Length, DefaultValue, Changeable, Visible, AllowedValues. The
// data-type text as written goes to `dataTypeText`.
std::unique_ptr<ParaItem> ReadCommBlockItem(const qmx::xml::Node& node, const char* category,
                                            const TextIdMap& textIds, std::string& dataTypeText) {
  auto item = std::make_unique<ParaItem>();
  item->category = category;
  item->textId = RequireAttribute(node, "TextId");
  item->key = RequireAttribute(node, "Type");
  item->valueItemTarget = RequireAttribute(node, "ValueItemTarget");
  dataTypeText = RequireAttribute(node, "DataType");
  item->dataType = GetDataTypeCode(dataTypeText);
  item->bitOffset = static_cast<uint16_t>(DecimalTextToInt(RequireAttribute(node, "BitOffset")));
  item->length = static_cast<uint16_t>(DecimalTextToInt(RequireAttribute(node, "Length")));
  item->defaultValue = RequireAttribute(node, "DefaultValue");
  item->changeable = StrToBool(RequireAttribute(node, "Changeable"));
  item->visible = StrToBool(RequireAttribute(node, "Visible"));
  item->AssignAllowedValues(RequireAttribute(node, "AllowedValues"), item->textId);
  item->displayText = DisplayTextOrId(textIds, item->textId);
  return item;
}

// Rows of the monitoring blocks. A block of a kind that was already read is
// continued: its items follow the earlier ones, so the items, the layout text,
// the length and the default image stay one consistent block.
void ReadCommBlocks(const qmx::xml::Document& document, NADef& def, const TextIdMap& textIds, std::string& location) {
  for (const qmx::xml::Node& block : document.SelectNodes(Path(kDeviceInfo, "Monitoring/CommBlock"))) {
    if (Skipped(block)) continue;
    location = "CommBlock";
    const int index = StrToBool(RequireAttribute(block, "InitOnly")) ? kMonInit : kMonFreq;
    const size_t b = static_cast<size_t>(index);
    def.blockFreq[b] = DecimalTextToInt(RequireAttribute(block, "Freq"));
    int offset = def.blockLength[b];
    std::string pieces;
    for (const qmx::xml::Node& child : block.Children()) {
      if (Skipped(child)) continue;
      std::string dataTypeText;
      std::unique_ptr<ParaItem> item =
          ReadCommBlockItem(child, index == kMonInit ? "MON_INIT" : "MON_FREQ", textIds, dataTypeText);
      item->byteOffset = static_cast<uint16_t>(offset);
      offset += GetDataTypeSize(item->dataType, item->length);
      pieces += StrFormat("\t%s,%s,%d", item->key.c_str(), dataTypeText.c_str(), static_cast<int>(item->length));
      def.blockItems[b].push_back(std::move(item));
    }
    std::string& layout = def.blockLayout[b];
    if (layout.empty()) {
      layout = pieces.empty() ? std::string() : pieces.substr(1);
    } else {
      layout += pieces;
    }
    def.blockLength[b] = offset;
    def.AssignCommBlockInitVal(index);
  }
}

void ReadIOItems(const qmx::xml::Document& document, NADef& def, const TextIdMap& textIds, const char* element,
                 const char* kind, std::vector<std::unique_ptr<IOItem>>& items, std::string& location) {
  location = Path(kIOData, element);
  const qmx::xml::Node node = document.SelectSingleNode(location);
  if (!node) return;
  const ConvParaSource source = def.ConvSource();
  int offset = 0;
  for (const qmx::xml::Node& child : node.Children()) {
    if (IsBlankText(child)) continue;
    std::unique_ptr<IOItem> item =
        AssignIOItemXML(kind, child, static_cast<uint16_t>(offset), textIds, &source, nullptr);
    if (!item) continue;
    offset += GetDataTypeSize(item->dataType, item->length);
    items.push_back(std::move(item));
  }
}

// Rows of one description after the general section; 1, or -4000 on a
// content error (logged). XML failures are thrown.
int ReadNADescription(const qmx::xml::Document& document, NADef& def, int iconIdx, const TextIdMap& textIds,
                      const std::string& path, std::string& location) {
  // Identity and bus types.
  location = kDeviceInfo;
  const qmx::xml::Node info = RequireNode(document, kDeviceInfo);
  def.ID = RequireAttribute(info, "ID");
  def.productCodeText = RequireAttribute(info, "DeviceID");
  def.category = RequireAttribute(info, "Category");
  def.busType = RequireAttribute(info, "BusType");
  def.iconIdx = iconIdx;
  def.driverCount = RequireAttribute(info, "BusNum");
  def.busNumber = DecimalTextToInt(def.driverCount);
  for (int i = 1; i < def.busNumber; ++i) def.busTypes.push_back(RequireAttribute(info, StrFormat("BusType%d", i)));

  // General section and drivers.
  if (MultiParseNAofCommDrivers(document, def, textIds, location) != 0) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Error Code: %d] Overfllow MultiBUS Num. Loc:%s. Func: %s. xml file: %s", -4000,
                      location.c_str(), "ParseNA", path.c_str()));
    return -4000;
  }

  // Specification.
  struct SpecRow {
    const char* element;
    SpecItem* item;
    bool optional;
  };
  const SpecRow rows[] = {
      {"HardwareVer", &def.hardwareVer, false},       {"MaxNodes", &def.maxNodes, false},
      {"InputMaxSize", &def.inputMaxSize, false},     {"OutputMaxSize", &def.outputMaxSize, false},
      {"IOMaxDataSize", &def.ioMaxDataSize, true},    {"Dimension", &def.dimension, false},
      {"PowerDissipation", &def.powerDissipation, false}, {"MaxPowerForIOs", &def.maxPowerForIOs, false},
      {"MaxExpansion", &def.maxExpansion, false},     {"SettableNodeAddrRange", &def.settableNodeAddrRange, true},
  };
  for (const SpecRow& row : rows) {
    location = Path(kSpecification, row.element);
    const qmx::xml::Node node = document.SelectSingleNode(location);
    if (row.optional && !node) continue;
    AssignSpecInfoXML(node, *row.item, location, path, textIds);
    if (row.item == &def.dimension) {
      def.dimensionHeight = RequireAttribute(node, "Height");
      def.dimensionWidth = RequireAttribute(node, "Width");
    }
  }
  location = Path(kSpecification, "Items/Ref");
  for (const qmx::xml::Node& node : document.SelectNodes(location)) {
    SpecItem item;
    if (AssignSpecInfoXML(node, item, location, path, textIds) == 1) def.moreSpecItems.push_back(std::move(item));
  }

  // Monitoring blocks and value lists.
  ReadCommBlocks(document, def, textIds, location);
  for (const qmx::xml::Node& node : document.SelectNodes(Path(kDeviceInfo, "ValueList/ValueItem"))) {
    if (Skipped(node)) continue;
    location = "Value List";
    ReadValueItem(node, textIds, def.valueLists);
  }

  // Parameters.
  location = kParameters;
  const qmx::xml::Node parameters = document.SelectSingleNode(kParameters);
  if (!parameters) {
    LogNodeMissing(kParameters, "ParseNA", path);
    return -4000;
  }
  if (!parameters.Attributes().empty()) {
    def.paraIndex = DecimalTextToInt(RequireAttribute(parameters, "Index"));
    def.paraLength = DecimalTextToInt(RequireAttribute(parameters, "Length"));
    const std::string namePath = Path(kParameters, "Name");
    const qmx::xml::Node name = document.SelectSingleNode(namePath);
    if (!name) {
      LogNodeMissing(namePath, "ParseNA", path);
      return -4000;
    }
    RequireAttribute(name, "TextId");  // read and not kept
    const std::string constPath = Path(kParameters, "Const");
    const qmx::xml::Node constant = document.SelectSingleNode(constPath);
    if (!constant) {
      LogNodeMissing(constPath, "ParseNA", path);
      return -4000;
    }
    def.AssignDefaultParaImage(RequireAttribute(constant, "Data"));
    location = Path(kParameters, "Ref");
    for (const qmx::xml::Node& node : document.SelectNodes(location)) {
      if (Skipped(node)) continue;
      def.paraItems.push_back(ReadParameterRef(node, textIds));
    }
  }

  // I/O data.
  location = kIOData;
  const qmx::xml::Node ioData = document.SelectSingleNode(kIOData);
  if (ioData && !ioData.Attributes().empty()) {
    def.inputLength = DecimalTextToInt(RequireAttribute(ioData, "InputLength"));
    def.outputLength = DecimalTextToInt(RequireAttribute(ioData, "OutputLength"));
  }
  ReadIOItems(document, def, textIds, "Input", "INPUT", def.inputItems, location);
  ReadIOItems(document, def, textIds, "Output", "OUTPUT", def.outputItems, location);
  return 1;
}

}  // namespace

// ---- the catalogue ---------------------------------------------------------------

void NACatalogue::AddBusType(const std::string& name) {
  for (const std::string& known : busTypes) {
    if (CompareNoCase(known, name) == 0) return;
  }
  busTypes.push_back(name);
}

const NADef* NACatalogue::FindByID(const std::string& id) const {
  for (const std::unique_ptr<NADef>& def : definitions) {
    if (def->ID == id) return def.get();
  }
  return nullptr;
}

const NADef* NACatalogue::FindByModelName(const std::string& modelName) const {
  for (const std::unique_ptr<NADef>& def : definitions) {
    if (CompareNoCase(def->modelName, modelName) == 0) return def.get();
  }
  return nullptr;
}

void NACatalogue::Clear() {
  groups.clear();
  busTypes.clear();
  definitions.clear();
}

std::string NAListPath(const std::string& programFolder) {
  const fs::path products = fs::path(programFolder) / "Products";
  if (std::optional<fs::path> found = qmx::os::FindFileNoCase(products, "listNA.xml")) return found->string();
  return (products / "listNA.xml").string();
}

std::string NADescriptionPath(const std::string& listPath, const std::string& fileName) {
  std::string name = fileName;
  std::replace(name.begin(), name.end(), '\\', '/');
  const fs::path products = fs::path(listPath).parent_path();
  const fs::path exact = products / "NA" / name;
  if (fs::exists(exact)) return exact.string();
  if (std::optional<fs::path> found = qmx::os::ResolvePathNoCase(products, fs::path("NA") / name)) {
    return found->string();
  }
  return exact.string();
}

// ---- the readers -----------------------------------------------------------------

int MultiParseNAofCommDrivers(const qmx::xml::Document& document, NADef& def, const TextIdMap& textIds,
                              std::string& location) {
  location = Path(kGeneral, "Name");
  qmx::xml::Node node = RequireNode(document, location);
  def.modelNameTextId = RequireAttribute(node, "TextId");
  def.modelName = GetTextIdValue(textIds, def.modelNameTextId, def.description);
  if (IsStrEmpty(def.modelName, 1)) def.modelName = def.modelNameTextId;

  location = Path(kGeneral, "InfoText");
  node = RequireNode(document, location);
  std::string unused;
  def.infoText = GetTextIdValue(textIds, RequireAttribute(node, "TextId"), unused);
  if (IsStrEmpty(def.infoText, 1)) def.infoText = def.description;

  location = Path(kGeneral, "OrderNumber");
  def.orderNumber = RequireAttribute(RequireNode(document, location), "Value");
  location = Path(kGeneral, "GraphicFile");
  def.graphicFile = RequireAttribute(RequireNode(document, location), "Value");
  location = Path(kGeneral, "HelpLink");
  qmx::xml::Node lastRead = RequireNode(document, location);
  def.helpLink = RequireAttribute(lastRead, "Value");

  const int count = DecimalTextToInt(def.driverCount);
  std::string lastType;
  for (int n = 1; n <= count; ++n) {
    location = StrFormat("%s/CommDriver%d", kGeneral, n);
    node = RequireNode(document, location);
    CommDriverEntry entry;
    entry.commType = RequireAttribute(node, "CommType");
    entry.fileName = RequireAttribute(node, "FileName");
    entry.fileType = RequireAttribute(node, "FileType");
    entry.commParas = RequireAttribute(node, "CommParas");
    if (n > kMaxCommDrivers) {
      LogNotAllowed(entry.commType, location);
      return -1;
    }
    def.driverEntries[static_cast<size_t>(n - 1)] = entry;
    def.driverEntryCount = n;
    def.commTypeMap[entry.commType] = entry;
    lastType = entry.commType;
    lastRead = node;
  }
  if (!def.CheckCommTypes()) LogNotAllowed(lastType, location);

  if (std::optional<std::string> order = lastRead.FindAttribute("MemoryOrder")) {
    const int mode = DecimalTextToInt(*order);
    // A mode outside 0 to 2 would make every multi-byte value vanish from the
    // images; it is refused and the plain order kept.
    if (mode >= 0 && mode <= 2) {
      def.byteOrderMode = mode;
    } else {
      LogNotAllowed(*order, location);
    }
  }

  const std::string factoryPath = Path(kGeneral, "FactorySetting");
  if (const qmx::xml::Node factory = document.SelectSingleNode(factoryPath)) {
    location = factoryPath;
    def.factoryCommSetting = RequireAttribute(factory, "Communicate");
  }
  return 0;
}

int ParseNA(const std::string& path, int iconIdx, const TextIdMap& textIds,
            std::vector<std::unique_ptr<NADef>>& definitions) {
  qmx::reader::LogStartParsing(path);
  auto def = std::make_unique<NADef>();
  std::string location = kDeviceInfo;
  try {
    const qmx::xml::Document document = qmx::xml::Document::LoadFile(path);
    const int rc = ReadNADescription(document, *def, iconIdx, textIds, path, location);
    if (rc != 1) return rc;  // the partly built definition is dropped
  } catch (const qmx::xml::XmlError& error) {
    qmx::reader::LogXmlException(qmx::kLogSource, error.what(), "ParseNA", location, path);
    qmx::reader::LogEndParsing(path, 1);
    return 1;
  }
  definitions.push_back(std::move(def));
  qmx::reader::LogEndParsing(path, 1);
  return 1;
}

int ParseNAFiles(const std::string& path, const TextIdMap& textIds, NACatalogue& catalogue,
                 CatalogueToolBox* toolBox) {
  qmx::reader::LogStartParsing(path);
  qmx::xml::Document document;
  try {
    document = qmx::xml::Document::LoadFile(path);
  } catch (const qmx::xml::XmlError&) {
    qmx::reader::ReportLoadFailure(path);
    return 0;
  }

  std::string location = "Group";
  try {
    for (const qmx::xml::Node& groupNode : document.SelectNodes("/CouplerList/Group")) {
      if (Skipped(groupNode)) continue;
      location = "ItemRef list";
      NACatalogueGroup group;
      group.category = RequireAttribute(groupNode, "Category");
      std::string unused;
      group.title = GetTextIdValue(textIds, group.category, unused);
      const int folder = toolBox ? toolBox->AddFolder(group.title, 0) : -1;
      group.iconIdx = DecimalTextToInt(RequireAttribute(groupNode, "IconIdx"));
      catalogue.groups.push_back(std::move(group));
      const int iconIdx = catalogue.groups.back().iconIdx;

      for (const qmx::xml::Node& child : groupNode.Children()) {
        if (Skipped(child)) continue;
        NACatalogueItem item;
        item.textId = RequireAttribute(child, "TextId");
        if (!StrToBool(RequireAttribute(child, "Available"))) continue;
        item.busType = RequireAttribute(child, "BusType");
        catalogue.AddBusType(item.busType);
        item.image = iconIdx;
        item.shown = item.textId != "T_NAxxxx";
        if (item.shown) {
          item.name = GetTextIdValue(textIds, item.textId, unused);
          if (toolBox) toolBox->AddItem(folder, item.name, iconIdx, 0);
        }
        std::vector<NACatalogueItem>& items = catalogue.groups.back().items;
        items.push_back(std::move(item));
        const std::string fileName = RequireAttribute(child, "DefineFileName");
        items.back().descriptionPath = NADescriptionPath(path, fileName);
        const size_t before = catalogue.definitions.size();
        ParseNA(items.back().descriptionPath, iconIdx, textIds, catalogue.definitions);
        if (catalogue.definitions.size() > before) items.back().definition = catalogue.definitions.back().get();
      }
    }
  } catch (const qmx::xml::XmlError& error) {
    qmx::reader::LogXmlException(qmx::kLogSource, error.what(), "ParseNAFiles", location, path);
  }
  qmx::reader::LogEndParsing(path, 1);
  return 1;
}
