#include "app/frame/export/XddExport.h"

#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "common/Utility.h"
#include "platform/xml/xml.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace qmx::xdd {
namespace {

using qmx::xml::Document;
using qmx::xml::Node;

constexpr const char* kDataTypeFragment =
    "<dataTypeList><struct name=\"\" uniqueID=\"\"><varDeclaration name=\"\" uniqueID=\"\" size=\"\"><UINT/>"
    "</varDeclaration></struct></dataTypeList>";
constexpr const char* kParameterFragment =
    "<parameterList><parameter uniqueID=\"\" access=\"\"><label lang=\"en\"></label><dataTypeIDRef uniqueIDRef=\"\"/>"
    "</parameter></parameterList>";

constexpr const char* kNamespace = "http://www.ethernet-powerlink.org";
constexpr const char* kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";

// Table rows: subIndex, name, objectType, dataType, accessType, defaultValue, PDOmapping.
XddObject::Table MakeStandardTable() {
  struct Row {
    const char *sub, *name, *type, *access, *pdo;
  };
  static const Row rows[XddObject::kRows] = {
      {"00", "NumberOfEntries", "0005", "const", "no"},
      {"01", "NodeID_Switch_Value_U16", "0006", "ro", "no"},
      {"02", "NumberOfModules_U16", "0006", "ro", "no"},
      {"03", "Run_Command_U16", "0006", "rw", "no"},
      {"04", "All_Module_ID", "0009", "ro", "no"},
      {"06", "IO_MappMethod_RxPdo_Out", "0006", "rw", "no"},
      {"07", "IO_MappMethod_RxPdo_In", "0006", "rw", "no"},
      {"08", "IO_Update_Time_U32", "0007", "rw", "no"},
      {"0C", "Error_Info_U32", "0007", "ro", "no"},
      {"0E", "All_SizeofOutputBit_U16", "0006", "ro", "no"},
      {"0F", "All_SizeofInputBit_U16", "0006", "ro", "no"},
      {"10", "All_SizeofOutputByte_U16", "0006", "ro", "no"},
      {"11", "All_SizeofInputByte_U16", "0006", "ro", "no"},
      {"12", "All_IO_Data_Out_U16", "0006", "rw", "no"},
      {"13", "All_IO_Data_In_U16", "0006", "ro", "no"},
      {"18", "Eth_Phy_Mac_Addr_U8", "0005", "ro", "no"},
      {"19", "Eth_IP_Addr_U8", "0005", "rw", "no"},
      {"1A", "Eth_Subnet_Addr_U8", "0005", "rw", "no"},
      {"1B", "Eth_GW_Addr_U8", "0005", "rw", "optional"},
      {"1D", "All_Max_Consum_Curr_U16", "0006", "ro", "optional"},
      {"20", "IO_Update_Time_U32", "0007", "ro", "optional"},
      {"21", "IO_Update_Count_U16", "0007", "ro", "optional"},
      {"22", "IO_Update_Count_NG_U16", "0007", "ro", "optional"},
      {"28", "MOD_Status_U16", "0006", "ro", "optional"},
      {"29", "IOS_Status_U16", "0006", "ro", "optional"},
  };
  XddObject::Table table;  // every string starts empty; no braces: clang 14 crashes evaluating them
  for (int r = 0; r < XddObject::kRows; ++r) {
    const Row& row = rows[r];
    table[r] = {row.sub, row.name, "7", row.type, row.access, r == 0 ? "41" : "", row.pdo};
  }
  return table;
}

// A cell of a filled table. Column 3 (dataType) is not answered by the
// table's accessor; a filled table holds the standard rows, so it is taken
// from those.
std::string Cell(const XddObject& object, int row, int column) {
  if (column == 3) return StandardObjectTable()[row][3];
  return object.GetSubObjectField(row, column);
}

void LogLeftOut(const Wrapper* module, const IODef* def, int slot) {
  PostLog(qmx::kLogError, qmx::kLogSource,
          StrFormat("[Warning] Module has no XDD object table and is left out of the XDD file. Slot: %d. Module: %s. "
                    "Model: %s. Func: GenerateXdd.",
                    slot, module ? module->GetName().c_str() : "", def ? def->modelName.c_str() : ""));
}

std::string CharAt(const std::string& text, size_t index) {
  return index < text.size() ? std::string(1, text[index]) : std::string();
}

Node Require(const Document& doc, const std::string& xpath, const char* what) {
  Node node = doc.SelectSingleNode(xpath);
  if (!node) throw qmx::xml::XmlError(std::string("The ") + what + " has no " + xpath.substr(2) + " element");
  return node;
}

// Moves every child of `from` to the end of `to`.
void MoveChildren(const Node& from, Node& to) {
  for (const Node& child : from.Children()) to.AppendChild(child);
}

std::string Insert(const std::string& text, const std::string& tag, size_t from, const std::string& what,
                   size_t& at) {
  at = text.find(tag, from);
  if (at == std::string::npos) return text;
  std::string out = text;
  out.insert(at + tag.size() - 1, what);
  return out;
}

}  // namespace

namespace {

// One table for every module of the family.
const std::shared_ptr<const XddObject::Table>& SharedStandardObjectTable() {
  static const std::shared_ptr<const XddObject::Table> table =
      std::make_shared<const XddObject::Table>(MakeStandardTable());
  return table;
}

}  // namespace

const XddObject::Table& StandardObjectTable() { return *SharedStandardObjectTable(); }

void FillXddObjectTable(IODef& definition) {
  definition.xddObject.Assign(2100, "Mappable_Ex_Slot_", 9, SharedStandardObjectTable());
}

int ModuleClass(const std::string& id) {
  if (id.size() < 7) return 0;
  if (id[6] == '3') return 1;
  if (id[6] == '4') return 2;
  return 0;
}

bool IsXddExportable(const ProjectWorkspace& workspace, TreeItem selected) {
  if (selected == kNoTreeItem) return false;
  const Wrapper* object = workspace.tree().GetItemData(selected);
  if (!object || !object->IsType(kTypeProject)) return false;
  const std::vector<TreeItem>& children = workspace.tree().Children(selected);
  if (children.size() != 1) return false;
  const Wrapper* child = workspace.tree().GetItemData(children.front());
  if (!child || !child->IsType(kTypeNA)) return false;
  const NADef* def = static_cast<const CNAUsr*>(child)->GetNADef();
  if (!def) return false;
  return def->modelName == "KR-4480" || def->ID == "KR-4480" || CompareNoCase(def->busType, "POWERLINK") == 0;
}

std::string InsertProfileAttributes(const std::string& text, const std::string& creator) {
  const std::string who = qmx::xml::EscapeAttribute(creator);
  const std::string container = StrFormat(
      "\n\txmlns= \"%s\"\n\txmlns:xsi=\"%s\"\n\txsi:schemaLocation=\"%s Powerlink_Main.xsd\"", kNamespace,
      kSchemaInstance, kNamespace);
  const std::string device = StrFormat(
      "\n\txsi:type=\"ProfileBody_Device_Powerlink\"\n\tfileName=\"000003B7_KR4480.xdd\"\n\tfileCreator=\"%s\""
      "\n\tfileCreationDate=\"2013-01-29\"\n\tfileModificationdate=\"2013-01-29\"\n\tfileModifiedBy=\"%s\""
      "\n\tfileVersion=\"1.0\"\n\tsupportedLanguages=\"en\"",
      who.c_str(), who.c_str());
  const std::string comm = StrFormat(
      "\n\txsi:type=\"ProfileBody_CommunicationNetwork_Powerlink\"\n\tfileName=\"000003B7_KR4480.xdd\""
      "\n\tfileCreator=\"%s\"\n\tfileCreationDate=\"2013-01-22\"\n\tfileModifiedBy=\"%s\""
      "\n\tfileModificationDate=\"2013-01-22\"\n\tfileVersion=\"1.0\"",
      who.c_str(), who.c_str());
  size_t at = 0;
  std::string out = Insert(text, "<ISO15745ProfileContainer>", 0, container, at);
  out = Insert(out, "<ProfileBody>", 0, device, at);
  if (at != std::string::npos) out = Insert(out, "<ProfileBody>", at + 1, comm, at);
  return out;
}

Result GenerateXdd(const ProjectWorkspace& workspace, TreeItem projectItem, const Templates& templates,
                   const std::string& creator) {
  Result result;
  try {
    Document main = Document::LoadText(templates.container, Document::Whitespace::Preserve);
    Node dataTypes = Require(main, "//dataTypeList", "profile container");
    Node parameters = Require(main, "//parameterList", "profile container");
    Node objectList = Require(main, "//ObjectList", "profile container");

    const std::vector<TreeItem>& children = workspace.tree().Children(projectItem);
    const TreeItem adapterItem = children.empty() ? kNoTreeItem : children.front();
    int counter = 0;
    int position = 0;
    for (TreeItem moduleItem : adapterItem == kNoTreeItem ? std::vector<TreeItem>{}
                                                          : workspace.tree().Children(adapterItem)) {
      const int p = position++;
      const Wrapper* object = workspace.tree().GetItemData(moduleItem);
      const IODef* def = object && object->IsType(kTypeIO) ? static_cast<const CIOUsr*>(object)->GetIODef() : nullptr;
      // A module without a table has nothing a POWERLINK master could map:
      // 25 empty sub-objects would only make the file unreadable. Its slot
      // keeps its index, so the other objects stay where their slots put them.
      if (!def || def->xddObject.GetRowCount() == 0) {
        LogLeftOut(object, def, p + 1);
        ++result.leftOut;
        continue;
      }
      const std::string id = def->ID;
      const int moduleClass = ModuleClass(id);
      int parameterNumber = -1;

      if (moduleClass == 1 || moduleClass == 2) {
        const int n = counter;
        Document fragment = Document::LoadText(kDataTypeFragment);
        Node st = Require(fragment, "//struct", "data type");
        st.SetAttribute("name", StrFormat("%s_%d", id.c_str(), n));
        st.SetAttribute("uniqueID", StrFormat("%s_Struct%d", id.c_str(), n));
        Node var = Require(fragment, "//varDeclaration", "data type");
        var.SetAttribute("name", StrFormat("%sChannel%d", id.c_str(), n));
        var.SetAttribute("uniqueID", StrFormat("%s_Struct%d.Channel", id.c_str(), n));
        var.SetAttribute("size", CharAt(id, 9));
        dataTypes.AppendChild(st);

        Document param = Document::LoadText(kParameterFragment);
        Node pa = Require(param, "//parameter", "parameter");
        pa.SetAttribute("uniqueID", StrFormat("%s_%d", id.c_str(), n));
        pa.SetAttribute("access", moduleClass == 1 ? "read" : "write");
        Require(param, "//label", "parameter").SetText(StrFormat("This is for %s channel", CharAt(id, 9).c_str()));
        Require(param, "//dataTypeIDRef", "parameter").SetAttribute("uniqueIDRef", StrFormat("%s_Struct%d", id.c_str(), n));
        parameters.AppendChild(pa);
        parameterNumber = n;
        ++counter;
      }

      // The module's own object, in a document of its own so that the
      // stylesheet lays it out alone.
      Document module;
      Node root = module.CreateElement("ObjectList");
      module.SetRoot(root);
      Node obj = root.AppendElement("Object");
      const XddObject& table = def->xddObject;
      obj.SetAttribute("index", StrFormat("%d", 2101 + p));
      obj.SetAttribute("name", moduleClass != 0 ? StrFormat("%s_%d", id.c_str(), p) : StrFormat("Mappable_Ex_Slot_%d", p));
      obj.SetAttribute("objectType", StrFormat("%d", table.GetObjectType()));
      // The row that carries the module's data refers to its parameter.
      const int dataRow = moduleClass == 1 ? 14 : moduleClass == 2 ? 13 : -1;
      for (int r = 0; r < XddObject::kRows; ++r) {
        Node sub = obj.AppendElement("SubObject");
        sub.SetAttribute("subIndex", Cell(table, r, 0));
        sub.SetAttribute("name", Cell(table, r, 1));
        sub.SetAttribute("objectType", Cell(table, r, 2));
        if (r == dataRow) {
          sub.SetAttribute("uniqueIDRef", StrFormat("%s_%d", id.c_str(), parameterNumber));
        } else {
          sub.SetAttribute("dataType", Cell(table, r, 3));
          sub.SetAttribute("accessType", Cell(table, r, 4));
        }
        if (r == 0) sub.SetAttribute("defaultValue", Cell(table, r, 5));
        sub.SetAttribute("PDOmapping", Cell(table, r, 6));
      }
      const Document indented = module.Transform(templates.stylesheet);
      const Node list = indented.Root();
      if (!list || list.Name() != "ObjectList")
        throw qmx::xml::XmlError("The indenting stylesheet gave no ObjectList");
      MoveChildren(list, objectList);
    }

    const Document standard = Document::LoadText(templates.objects, Document::Whitespace::Preserve);
    const Node standardList = standard.Root();
    if (!standardList || standardList.Name() != "ObjectList")
      throw qmx::xml::XmlError("The standard object list has no ObjectList root");
    MoveChildren(standardList, objectList);

    result.text = InsertProfileAttributes(main.Xml(), creator);
    result.ok = true;
  } catch (const qmx::xml::XmlError& e) {
    result.error = e.what();
  }
  return result;
}

bool WriteXddFile(const std::filesystem::path& path, const std::string& text, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = std::strerror(errno);
    return false;
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (out.fail()) {
    error = "the file could not be written";
    return false;
  }
  return true;
}

}  // namespace qmx::xdd
