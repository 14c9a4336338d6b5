#include "report/core/DocuSet.h"

#include "common/Utility.h"
#include "platform/xml/xml.h"

namespace fs = std::filesystem;

namespace qmx::rendaval {
namespace {

using qmx::xml::Document;
using qmx::xml::Node;

// A missing attribute prints as an empty field.
std::string Attr(const Node& node, const char* name) { return node.FindAttribute(name).value_or(std::string()); }

Document Load(const fs::path& path) {
  try {
    return Document::LoadFile(path, kDocuFileLimit);
  } catch (const qmx::xml::XmlError& e) {
    throw DocuError("Cannot read the documentation file " + path.string() + ": " + e.what());
  }
}

std::vector<Node> Select(const Document& doc, const std::string& xpath) {
  try {
    return doc.SelectNodes(xpath);
  } catch (const qmx::xml::XmlError& e) {
    throw DocuError(std::string("Cannot read the documentation: ") + e.what());
  }
}

fs::path InFolder(const fs::path& folder, const std::string& name) {
  return name.empty() ? fs::path() : folder / name;
}

std::vector<DocuAdapter> ReadAdapters(const Document& doc, const std::string& xpath) {
  std::vector<DocuAdapter> adapters;
  for (const Node& na : Select(doc, xpath)) {
    DocuAdapter adapter{Attr(na, "name"), Attr(na, "model"), Attr(na, "address"), Attr(na, "description"), {}};
    for (const Node& io : na.SelectNodes("Module"))
      adapter.modules.push_back(
          {Attr(io, "name"), Attr(io, "model"), Attr(io, "type"), Attr(io, "slot"), Attr(io, "description")});
    adapters.push_back(std::move(adapter));
  }
  return adapters;
}

std::vector<DocuItem> ReadItems(const fs::path& file) {
  std::vector<DocuItem> items;
  const Document doc = Load(file);
  for (const Node& item : Select(doc, "//INQUIRY_VIEW/Item"))
    items.push_back({Attr(item, "Model"), Attr(item, "Part_Num"), Attr(item, "amount")});
  return items;
}

std::vector<DocuMapEntry> ReadMapEntries(const Document& doc, const std::string& xpath) {
  std::vector<DocuMapEntry> entries;
  for (const Node& e : Select(doc, xpath)) {
    DocuMapEntry entry{Attr(e, "name"), Attr(e, "model"), {}};
    for (const Node& ch : e.SelectNodes("Channel"))
      entry.channels.push_back({Attr(ch, "type"), Attr(ch, "channel_num"), Attr(ch, "size"),
                                Attr(ch, "InputWordAddr"), Attr(ch, "InputBitAddr"), Attr(ch, "OutputWordAddr"),
                                Attr(ch, "OutputBitAddr")});
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<DocuParamObject> ReadParamObjects(const Document& doc, const std::string& xpath) {
  std::vector<DocuParamObject> objects;
  for (const Node& o : Select(doc, xpath)) {
    DocuParamObject object{Attr(o, "name"), Attr(o, "model"), {}};
    for (const Node& p : o.SelectNodes("Para")) object.params.push_back({Attr(p, "name"), Attr(p, "value")});
    objects.push_back(std::move(object));
  }
  return objects;
}

void ReadNode(DocuNode& node, const fs::path& nodeDir) {
  {
    const Document doc = Load(node.nodeFile);
    node.adapters = ReadAdapters(doc, "//NODE_VIEW/NetworkAdapter");
    for (const Node& info : Select(doc, "//NODE_VIEW/Node")) node.info.emplace_back(Attr(info, "name"), Attr(info, "value"));
    for (const Node& file : Select(doc, "//IMAGE_VIEW/File")) {
      const std::string name = Attr(file, "name");
      if (!name.empty()) node.pictures.push_back(nodeDir / name);
    }
    for (const Node& d : Select(doc, "//IMAGE_VIEW/Dimension"))
      node.dimensions.push_back({Attr(d, "Width"), Attr(d, "Height"), Attr(d, "Length")});
  }
  {
    const Document doc = Load(node.mapFile);
    node.ioEntries = ReadMapEntries(doc, "//MAP_VIEW/IO");
    node.adapterEntries = ReadMapEntries(doc, "//MAP_VIEW/NA_IO");
  }
  {
    // The main program writes module parameters as IO elements; IO_PARA is
    // the name older notes give them, read as well.
    const Document doc = Load(node.paramFile);
    node.ioParams = ReadParamObjects(doc, "//PARAMETER_VIEW/IO | //PARAMETER_VIEW/IO_PARA");
    node.adapterParams = ReadParamObjects(doc, "//PARAMETER_VIEW/NA_PARA");
  }
  node.inquiry = ReadItems(node.inquiryFile);
}

}  // namespace

DocuSet LoadDocuSet(const std::string& kind, const fs::path& mainFile) {
  DocuSet set;
  set.kind = kind;
  const Document main = Load(mainFile);
  const Node project = main.SelectSingleNode("//PROJECT");
  if (!project) throw DocuError("Cannot read the documentation file " + mainFile.string() + ": no PROJECT element");
  set.projectName = Attr(project, "name");
  set.date = Attr(project, "Date");
  set.busType = Attr(project, "BusType");
  set.imagePath = Attr(project, "path");
  if (set.IsProject()) set.overview = ReadAdapters(main, "//PROJECT/PROJECT_VIEW/NetworkAdapter");

  if (const Node sub = main.SelectSingleNode("//NODE_SUB")) set.nodeDir = Attr(sub, "path");
  const std::vector<Node> nodes = Select(main, "//PROJECT/NODE_SUB/Node");
  if (nodes.size() > kMaxNodes)
    throw DocuError(StrFormat("The documentation lists %zu network adapters; a report takes at most %zu.",
                              nodes.size(), kMaxNodes));
  for (const Node& n : nodes) {
    DocuNode node;
    node.nodeFile = InFolder(set.nodeDir, Attr(n, "node_file"));
    node.mapFile = InFolder(set.nodeDir, Attr(n, "map_file"));
    node.paramFile = InFolder(set.nodeDir, Attr(n, "param_file"));
    node.inquiryFile = InFolder(set.nodeDir, Attr(n, "inquiry_file"));
    ReadNode(node, set.nodeDir);
    set.nodes.push_back(std::move(node));
  }
  if (set.IsProject()) {
    const Node prj = main.SelectSingleNode("//@prj_inquiry");
    set.prjInquiryPath = InFolder(set.nodeDir, prj ? prj.Text() : std::string());
    if (!set.prjInquiryPath.empty()) set.prjInquiry = ReadItems(set.prjInquiryPath);
  }
  return set;
}

}  // namespace qmx::rendaval
