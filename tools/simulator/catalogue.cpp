#include "tools/simulator/catalogue.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "common/Utility.h"
#include "platform/xml/xml.h"

#ifndef QMX_SIM_CATALOGUE_DIR
#define QMX_SIM_CATALOGUE_DIR ""
#endif

namespace qmx::sim {
namespace {

namespace fs = std::filesystem;

// A station carries at most this many bytes in one image direction of a
// module (the driver's working buffers are 1448 bytes).
constexpr int kMaxBlockBytes = 1024;

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

bool IsTrue(const std::string& text) { return Upper(Trim(text)) == "TRUE"; }

// Leading blanks, an optional sign and the leading digits; 0 when none, as
// the description readers read their decimal attributes.
long Decimal(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long v = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && v < 100000000; ++i)
    v = 10 * v + (text[i] - '0');
  return negative ? -v : v;
}

struct Failure : std::exception {
  explicit Failure(std::string w) : what_(std::move(w)) {}
  const char* what() const noexcept override { return what_.c_str(); }
  std::string what_;
};

std::string Attr(const xml::Node& node, const std::string& name) { return node.GetAttributeText(name); }

std::string AttrOr(const xml::Node& node, const std::string& name) {
  if (!node) return {};
  return node.FindAttribute(name).value_or(std::string());
}

uint16_t ProductCode(const std::string& text) {
  std::string t = Upper(Trim(text));
  if (t.rfind("0X", 0) == 0) t = t.substr(2);
  if (t.empty() || t.size() > 4 || !IsHexDigits(t))
    throw Failure("DeviceID '" + text + "' is not a 16-bit hexadecimal product code");
  return static_cast<uint16_t>(std::stoul(t, nullptr, 16));
}

uint16_t Length(const std::string& what, long value) {
  if (value < 0 || value > kMaxBlockBytes)
    throw Failure(what + " " + std::to_string(value) + " is not 0 to " + std::to_string(kMaxBlockBytes) + " bytes");
  return static_cast<uint16_t>(value);
}

// The parameter section: its length and the default image of Const/@Data
// (trimmed, upper case, blanks, "," and "0X" removed; kept only when it has
// exactly twice Length hexadecimal digits, as the definitions keep it).
void ReadParameters(const xml::Node& info, uint16_t* length, std::vector<uint8_t>* image) {
  const xml::Node para = info.SelectSingleNode("Parameters");
  if (!para) throw Failure("no Parameters element");
  *length = Length("Parameters Length", Decimal(AttrOr(para, "Length")));
  image->clear();
  const std::string digits = HexDigitsOf(AttrOr(para.SelectSingleNode("Const"), "Data"), ", \t\n\v\f\r");
  if (*length == 0 || digits.size() != 2u * *length || !IsHexDigits(digits)) return;
  *image = HexPairsToBytes(digits);
}

void ReadIoLengths(const xml::Node& info, uint16_t* input, uint16_t* output) {
  const xml::Node io = info.SelectSingleNode("IOData");
  *input = Length("InputLength", Decimal(AttrOr(io, "InputLength")));
  *output = Length("OutputLength", Decimal(AttrOr(io, "OutputLength")));
}

// Bits and bytes of the items of IOData/Input or IOData/Output.
void CountItems(const xml::Node& info, const char* direction, const char* digital, uint16_t declaredBytes,
                uint16_t* bits) {
  long totalBits = 0, totalBytes = 0;
  for (const xml::Node& item : info.SelectNodes(std::string("IOData/") + direction + "/*")) {
    if (item.Type() != xml::NodeType::Element) continue;
    const std::string type = Attr(item, "DataType");
    const long count = Decimal(Attr(item, "Length"));
    const int size = DataTypeSize(type, static_cast<int>(count));
    if (size < 0) throw Failure(std::string(direction) + " item of unknown data type '" + type + "'");
    totalBits += Upper(Trim(Attr(item, "ChannelType"))) == digital ? count : 8L * size;
    totalBytes += size;
  }
  if (totalBytes != declaredBytes || (totalBits + 7) / 8 != declaredBytes)
    throw Failure(std::string(direction) + " items give " + std::to_string(totalBits) + " bits in " +
                  std::to_string(totalBytes) + " bytes, the description says " + std::to_string(declaredBytes) +
                  " bytes");
  *bits = static_cast<uint16_t>(totalBits);
}

// The DeviceInfo element at `path` of a loaded description; throws when the
// description has none.
xml::Node DeviceInfo(const xml::Document& doc, const char* path) {
  const xml::Node info = doc.SelectSingleNode(path);
  if (!info) throw Failure(std::string("no ") + path);
  return info;
}

// The identity both kinds of product give: the ID and the product code.
template <class Product>
void ReadIdentity(const xml::Node& info, Product& product) {
  product.id = Trim(Attr(info, "ID"));
  product.productCode = ProductCode(Attr(info, "DeviceID"));
}

// The images both kinds of product give: the parameters and the I/O lengths.
template <class Product>
void ReadImages(const xml::Node& info, Product& product) {
  ReadParameters(info, &product.paraLength, &product.defaultPara);
  ReadIoLengths(info, &product.inputLength, &product.outputLength);
}

CatalogueAdapter ReadAdapter(const fs::path& file) {
  const xml::Document doc = xml::Document::LoadFile(file);
  const xml::Node info = DeviceInfo(doc, "/CouplerProfile/DeviceInfo");
  CatalogueAdapter a;
  ReadIdentity(info, a);
  a.busTypes.push_back(Attr(info, "BusType"));
  const long buses = Decimal(AttrOr(info, "BusNum"));
  for (long i = 1; i < buses && i < 16; ++i) a.busTypes.push_back(Attr(info, "BusType" + std::to_string(i)));
  ReadImages(info, a);
  for (const xml::Node& block : info.SelectNodes("Monitoring/CommBlock")) {
    if (!IsTrue(AttrOr(block, "InitOnly"))) continue;
    for (const xml::Node& item : block.ChildElements()) a.initBlock.push_back(Attr(item, "Type"));
  }
  return a;
}

CatalogueModule ReadModule(const fs::path& file) {
  const xml::Document doc = xml::Document::LoadFile(file);
  const xml::Node info = DeviceInfo(doc, "/IOProfile/DeviceInfo");
  CatalogueModule m;
  ReadIdentity(info, m);
  m.category = Attr(info, "Category");
  m.canCommunicate = IsTrue(AttrOr(info.SelectSingleNode("General/Features"), "CanCommunication"));
  ReadImages(info, m);
  CountItems(info, "Input", "DI", m.inputLength, &m.inputBits);
  CountItems(info, "Output", "DO", m.outputLength, &m.outputBits);
  return m;
}

// The description files of the available products of a list, in list order.
std::vector<fs::path> ListedFiles(const fs::path& list, const std::string& groups, const fs::path& folder) {
  const xml::Document doc = xml::Document::LoadFile(list);
  std::vector<fs::path> files;
  for (const xml::Node& group : doc.SelectNodes(groups)) {
    for (const xml::Node& item : group.ChildElements()) {
      if (!IsTrue(Attr(item, "Available"))) continue;
      files.push_back(folder / Trim(Attr(item, "DefineFileName")));
    }
  }
  return files;
}

}  // namespace

ModuleSpec CatalogueModule::Spec() const {
  ModuleSpec s;
  s.label = id;
  s.productCode = productCode;
  s.kind = category;
  s.inputBits = inputBits;
  s.outputBits = outputBits;
  s.paraLength = paraLength;
  s.communicating = canCommunicate ? 1 : 0;
  s.defaultPara = defaultPara;
  return s;
}

int DataTypeSize(const std::string& typeName, int count) {
  const std::string t = Upper(Trim(typeName));
  if (t == "BIT") return 1;
  if (t == "BITAREA") return (count + 7) / 8;
  if (t == "INTEGER8" || t == "UNSIGNED8" || t == "STRING" || t == "BYTEAREA" || t == "IPADDR") return count;
  if (t == "INTEGER16" || t == "UNSIGNED16" || t == "FLOAT16") return 2 * count;
  if (t == "INTEGER32" || t == "UNSIGNED32" || t == "FLOAT32") return 4 * count;
  if (t == "INTEGER64" || t == "UNSIGNED64" || t == "FLOAT64") return 8 * count;
  return -1;
}

bool Catalogue::Load(const fs::path& productsDir, Catalogue* out, std::string* error) {
  Catalogue c;
  c.folder_ = productsDir;
  fs::path current = productsDir / "listNA.xml";
  try {
    for (const fs::path& file : ListedFiles(current, "/CouplerList/Group", productsDir / "NA")) {
      current = file;
      c.adapters_.push_back(ReadAdapter(file));
    }
    current = productsDir / "listIO.xml";
    for (const fs::path& file : ListedFiles(current, "/IOList/Group", productsDir / "IO")) {
      current = file;
      c.modules_.push_back(ReadModule(file));
    }
  } catch (const std::exception& e) {
    *error = "catalogue " + current.string() + ": " + e.what();
    return false;
  }
  *out = std::move(c);
  return true;
}

const CatalogueAdapter* Catalogue::FindAdapter(const std::string& id) const {
  const std::string wanted = Upper(Trim(id));
  for (const CatalogueAdapter& a : adapters_)
    if (Upper(a.id) == wanted) return &a;
  return nullptr;
}

const CatalogueModule* Catalogue::FindModule(const std::string& id) const {
  const std::string wanted = Upper(Trim(id));
  for (const CatalogueModule& m : modules_)
    if (Upper(m.id) == wanted) return &m;
  return nullptr;
}

fs::path DefaultCatalogueFolder() { return fs::path(QMX_SIM_CATALOGUE_DIR); }

}  // namespace qmx::sim
