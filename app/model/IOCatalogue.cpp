#include "app/model/IOCatalogue.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"
#include "platform/xml/xml.h"


using qmx::reader::DecimalTextToInt;
using qmx::reader::RequireAttribute;

namespace {

constexpr const char* kDeviceInfo = "/IOProfile/DeviceInfo";
constexpr const char* kGeneral = "/IOProfile/DeviceInfo/General";

// Rows of one description; 1 read to the end, 0 without DeviceInfo, -4000
// without a required parameter element (both logged). XML failures are
// thrown. `loadFailure` is the parser's reason when the file gave no document.
int ReadIODescription(const qmx::xml::Document& document, IODef& def, const TextIdMap& textIds,
                      const std::string& path, const std::string& loadFailure, std::string& location,
                      const std::function<void(IODef&)>& fillXdd) {
  // Identity.
  location = kDeviceInfo;
  const qmx::xml::Node info = document.SelectSingleNode(kDeviceInfo);
  if (!info) {
    qmx::reader::LogNodeMissing(qmx::kLogSource, kDeviceInfo, "ParseIO", path, loadFailure);
    return 0;
  }
  def.ID = RequireAttribute(info, "ID");
  def.productCodeText = RequireAttribute(info, "DeviceID");
  def.category = RequireAttribute(info, "Category");

  // General section.
  DescriptionReader reader(kModuleSide, document, textIds, path, location);
  reader.ReadGeneralTexts(def);
  if (const qmx::xml::Node keySpec = document.SelectSingleNode(std::string(kGeneral) + "/KeySpec")) {
    def.keySpec = RequireAttribute(keySpec, "Value");
  }
  const std::string featuresPath = std::string(kGeneral) + "/Features";
  if (const qmx::xml::Node features = document.SelectSingleNode(featuresPath)) {
    def.addrMapPriority = RequireAttribute(features, "AddrMapPriority");
    def.canCommunication = StrToBool(RequireAttribute(features, "CanCommunication"));
    def.fieldPwrCutoffBefore = StrToBool(RequireAttribute(features, "FieldPwrCutoffBefore"));
    def.fieldPwrFreeNext = StrToBool(RequireAttribute(features, "FieldPwrFreeNext"));
    def.systemPwrExpansion = DecimalTextToInt(RequireAttribute(features, "SystemPwrExpansion"));
  } else {
    qmx::reader::LogNodeMissing(qmx::kLogSource, featuresPath, "ParseIO", path);
  }

  // Technical data: a missing item is logged by the item reader and the
  // reading goes on; the dimension's own attributes need the element.
  reader.ReadSpecification(def, {
                                    {"HardwareVer", &def.hardwareVer, false},
                                    {"PowerDissipation", &def.powerDissipation, false},
                                    {"Dimension", &def.dimension, false},
                                    {"AllowedInSlots", &def.allowedInSlots, false},
                                    {"FieldPower", &def.fieldPower, false},
                                });
  reader.ReadValueLists(def.valueLists);
  if (reader.ReadParameters(def) != 1) return qmx::err::kNodeMissing;
  reader.ReadIOData(def);

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
                    qmx::err::kNodeMissing, textId.c_str(), file.c_str(), "ParseIOFiles"));
}

}  // namespace

// ---- the catalogue ---------------------------------------------------------------

int IOCatalogue::Register(std::unique_ptr<IODef> definition, const std::string& path) {
  if (!definition) return 0;
  const IODef* first = FindByID(definition->ID);
  const std::string keptFile = first ? FileOf(first) : std::string();
  if (!MayRegister(kModuleSide, definition->ID, first ? &keptFile : nullptr, path)) return 0;
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

std::string IOListPath(const std::string& programFolder) {
  return CatalogueListPath(programFolder, "listIO.xml");
}

std::string IODescriptionPath(const std::string& listPath, const std::string& fileName) {
  return CatalogueDescriptionPath(listPath, "IO", fileName);
}

// ---- the readers -----------------------------------------------------------------

int ParseIO(const std::string& path, int iconIdx, const TextIdMap& textIds, IODef& definition, bool& complete,
            const std::function<void(IODef&)>& fillXdd) {
  complete = false;
  qmx::reader::LogStartParsing(path);
  definition.iconIdx = iconIdx;

  // A file that is missing or not well-formed reads as an empty document,
  // which has no DeviceInfo; its line names the parser's reason.
  qmx::xml::Document document;
  std::string loadFailure;
  try {
    document = qmx::xml::Document::LoadFile(path, qmx::reader::kDefinitionFileLimit);
  } catch (const qmx::xml::XmlError& error) {
    document = qmx::xml::Document();
    loadFailure = error.what();
  }

  std::string location = kDeviceInfo;
  try {
    const int rc = ReadIODescription(document, definition, textIds, path, loadFailure, location, fillXdd);
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
  int folder = -1;
  int iconIdx = 0;
  CatalogueListWalk walk;
  walk.root = "IOList";
  walk.groupsPath = "/IOList/Group";
  walk.location = "/IOList/Group";
  walk.function = "ParseIOFiles";
  walk.onGroup = [&](const qmx::xml::Node& groupNode) {
    IOGroup group;
    group.Category = RequireAttribute(groupNode, "Category");
    iconIdx = DecimalTextToInt(RequireAttribute(groupNode, "IconIdx"));
    group.Title = GetTextIdValue(textIds, group.Category, group.Description);
    folder = toolBox ? toolBox->AddFolder(group.Title, 0) : -1;
    catalogue.groups.push_back(std::move(group));
    walk.location = "ItemRef list";
  };
  walk.onChild = [&](const qmx::xml::Node& child) {
    const std::string textId = RequireAttribute(child, "TextId");
    if (!StrToBool(RequireAttribute(child, "Available"))) {
      PostLog(qmx::kLogDeveloper, qmx::kLogSource,
              StrFormat("[Info] Available IO is false. %s. Func: %s.", textId.c_str(), "ParseIOFiles"));
      return;
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
      return;
    }
    const IODef* def = definition.get();
    if (catalogue.Register(std::move(definition), file) == 1) catalogue.groups.back().Modules.push_back(def);
  };
  return WalkCatalogueList(path, walk);
}
