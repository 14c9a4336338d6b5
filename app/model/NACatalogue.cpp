#include "app/model/NACatalogue.h"

#include "app/model/DataTypes.h"
#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"

using qmx::reader::DecimalTextToInt;
using qmx::reader::IsSkipped;
using qmx::reader::RequireAttribute;
using qmx::reader::RequireNode;

namespace {

constexpr const char* kDeviceInfo = "/CouplerProfile/DeviceInfo";
constexpr const char* kGeneral = "/CouplerProfile/DeviceInfo/General";

void LogNotAllowed(const std::string& value, const std::string& location) {
  qmx::ReportError(qmx::err::kValueNotAllowed,
                   StrFormat("Not allowed value in xml file. Value: %s. Loc: %s.", value.c_str(), location.c_str()),
                   "MultiParseNAofCommDrivers", qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
}

// Rows of the monitoring blocks. A block of a kind that was already read is
// continued: its items follow the earlier ones, so the items, the layout text,
// the length and the default image stay one consistent block.
void ReadCommBlocks(const qmx::xml::Document& document, NADef& def, const TextIdMap& textIds, std::string& location) {
  for (const qmx::xml::Node& block : document.SelectNodes(std::string(kDeviceInfo) + "/Monitoring/CommBlock")) {
    if (IsSkipped(block)) continue;
    location = "CommBlock";
    const int index = StrToBool(RequireAttribute(block, "InitOnly")) ? kMonInit : kMonFreq;
    const size_t b = static_cast<size_t>(index);
    def.blockFreq[b] = DecimalTextToInt(RequireAttribute(block, "Freq"));
    int offset = def.blockLength[b];
    std::string pieces;
    for (const qmx::xml::Node& child : block.Children()) {
      if (IsSkipped(child)) continue;
      std::string dataTypeText;
      std::unique_ptr<ParaItem> item = ReadParaItem(child, ParaItemForm::kCommBlock,
                                                    index == kMonInit ? "MON_INIT" : "MON_FREQ", textIds,
                                                    &dataTypeText);
      item->byteOffset = static_cast<uint16_t>(offset);
      offset += GetDataTypeSize(item->dataType, item->length);
      pieces += StrFormat("\t%s,%s,%d", item->key.c_str(), dataTypeText.c_str(), static_cast<int>(item->length));
      def.blockItems[b].push_back(std::move(item));
    }
    PooledText& layout = def.blockLayout[b];
    if (layout.empty()) {
      layout = pieces.empty() ? std::string() : pieces.substr(1);
    } else {
      layout = layout + pieces;
    }
    def.blockLength[b] = offset;
    def.AssignCommBlockInitVal(index);
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
            StrFormat("[Error Code: %d] Overfllow MultiBUS Num. Loc:%s. Func: %s. xml file: %s",
                      qmx::err::kNodeMissing, location.c_str(), "ParseNA", path.c_str()));
    return qmx::err::kNodeMissing;
  }

  DescriptionReader reader(kAdapterSide, document, textIds, path, location);
  reader.ReadSpecification(def, {
                                    {"HardwareVer", &def.hardwareVer, false},
                                    {"MaxNodes", &def.maxNodes, false},
                                    {"InputMaxSize", &def.inputMaxSize, false},
                                    {"OutputMaxSize", &def.outputMaxSize, false},
                                    {"IOMaxDataSize", &def.ioMaxDataSize, true},
                                    {"Dimension", &def.dimension, false},
                                    {"PowerDissipation", &def.powerDissipation, false},
                                    {"MaxPowerForIOs", &def.maxPowerForIOs, false},
                                    {"MaxExpansion", &def.maxExpansion, false},
                                    {"SettableNodeAddrRange", &def.settableNodeAddrRange, true},
                                });
  ReadCommBlocks(document, def, textIds, location);
  reader.ReadValueLists(def.valueLists);
  if (reader.ReadParameters(def) != 1) return qmx::err::kNodeMissing;
  reader.ReadIOData(def);
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

int NACatalogue::Register(std::unique_ptr<NADef> definition, const std::string& path) {
  if (!definition) return 0;
  const NADef* first = FindByID(definition->ID);
  const std::string keptFile = first ? FileOf(first) : std::string();
  if (!MayRegister(kAdapterSide, definition->ID, first ? &keptFile : nullptr, path)) return 0;
  definitions.push_back(std::move(definition));
  files_.resize(definitions.size() - 1);
  files_.push_back(path);
  return 1;
}

std::string NACatalogue::FileOf(const NADef* definition) const {
  for (size_t i = 0; i < definitions.size() && i < files_.size(); ++i) {
    if (definitions[i].get() == definition) return files_[i];
  }
  return {};
}

std::string NAListPath(const std::string& programFolder) {
  return CatalogueListPath(programFolder, "listNA.xml");
}

std::string NADescriptionPath(const std::string& listPath, const std::string& fileName) {
  return CatalogueDescriptionPath(listPath, "NA", fileName);
}

// ---- the readers -----------------------------------------------------------------

int MultiParseNAofCommDrivers(const qmx::xml::Document& document, NADef& def, const TextIdMap& textIds,
                              std::string& location) {
  const std::string noFile;
  DescriptionReader reader(kAdapterSide, document, textIds, noFile, location);
  qmx::xml::Node lastRead = reader.ReadGeneralTexts(def);

  const int count = DecimalTextToInt(def.driverCount);
  std::string lastType;
  for (int n = 1; n <= count; ++n) {
    location = StrFormat("%s/CommDriver%d", kGeneral, n);
    const qmx::xml::Node node = RequireNode(document, location);
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

  const std::string factoryPath = std::string(kGeneral) + "/FactorySetting";
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
    const qmx::xml::Document document = qmx::xml::Document::LoadFile(path, qmx::reader::kDefinitionFileLimit);
    const int rc = ReadNADescription(document, *def, iconIdx, textIds, path, location);
    if (rc != 1) return rc;  // the partly built definition is dropped
  } catch (const qmx::xml::XmlError& error) {
    // For a file that did not load, the error names its line and the reason.
    qmx::reader::LogXmlException(qmx::kLogSource, error.what(), "ParseNA", location, path);
    qmx::reader::LogEndParsing(path, 1);
    return 1;
  }
  definitions.push_back(std::move(def));
  qmx::reader::LogEndParsing(path, 1);
  return 1;
}

int ParseNA(const std::string& path, int iconIdx, const TextIdMap& textIds, NACatalogue& catalogue,
            const NADef** registered) {
  if (registered) *registered = nullptr;
  std::vector<std::unique_ptr<NADef>> read;
  const int rc = ParseNA(path, iconIdx, textIds, read);
  if (!read.empty()) {
    const NADef* def = read.front().get();
    if (catalogue.Register(std::move(read.front()), path) == 1 && registered) *registered = def;
  }
  return rc;
}

int ParseNAFiles(const std::string& path, const TextIdMap& textIds, NACatalogue& catalogue,
                 CatalogueToolBox* toolBox) {
  int folder = -1;
  int iconIdx = 0;
  CatalogueListWalk walk;
  walk.root = "CouplerList";
  walk.groupsPath = "/CouplerList/Group";
  walk.location = "Group";
  walk.function = "ParseNAFiles";
  walk.onGroup = [&](const qmx::xml::Node& groupNode) {
    walk.location = "ItemRef list";
    NACatalogueGroup group;
    group.category = RequireAttribute(groupNode, "Category");
    std::string unused;
    group.title = GetTextIdValue(textIds, group.category, unused);
    folder = toolBox ? toolBox->AddFolder(group.title, 0) : -1;
    group.iconIdx = DecimalTextToInt(RequireAttribute(groupNode, "IconIdx"));
    iconIdx = group.iconIdx;
    catalogue.groups.push_back(std::move(group));
  };
  walk.onChild = [&](const qmx::xml::Node& child) {
    NACatalogueItem item;
    item.textId = RequireAttribute(child, "TextId");
    if (!StrToBool(RequireAttribute(child, "Available"))) return;
    item.busType = RequireAttribute(child, "BusType");
    catalogue.AddBusType(item.busType);
    item.image = iconIdx;
    item.shown = item.textId != "T_NAxxxx";
    if (item.shown) {
      std::string unused;
      item.name = GetTextIdValue(textIds, item.textId, unused);
      if (toolBox) toolBox->AddItem(folder, item.name, iconIdx, 0);
    }
    // The item stays in the window also when its description fails.
    std::vector<NACatalogueItem>& items = catalogue.groups.back().items;
    items.push_back(std::move(item));
    items.back().descriptionPath = NADescriptionPath(path, RequireAttribute(child, "DefineFileName"));
    ParseNA(items.back().descriptionPath, iconIdx, textIds, catalogue, &items.back().definition);
  };
  return WalkCatalogueList(path, walk);
}
