// What the adapter and module device descriptions and their catalogue lists
// share, read by one reader so that both kinds have the same bounds,
// refusals and log lines: the general texts, the technical-data items, the
// value lists, the parameters, the I/O data with its image
// lengths, the registration of a definition read to its end, the walk over a
// catalogue list, and the catalogue window the list readers fill.
//
// Every attribute these readers read is required unless said otherwise: a
// missing one throws qmx::xml::XmlError ("Invalid pointer"), which ends the
// reading of the whole description in the caller (its -6001 line).
#pragma once

#include "app/model/IOItem.h"
#include "app/model/ParaItem.h"
#include "app/model/SpecItem.h"
#include "app/model/TextIdList.h"
#include "platform/xml/xml.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class DeviceDef;
class NADef;
class IODef;

// The "NA && IO List" window as the catalogue readers see it: one folder per
// group, one item per available product, in the order of insertion.
class CatalogueToolBox {
public:
  virtual ~CatalogueToolBox() = default;
  // Appends a folder; returns its index (0 for the first).
  virtual int AddFolder(const std::string& name, int image) = 0;
  // Appends an item to a folder; returns 1.
  virtual int AddItem(int folder, const std::string& name, int image, int data) = 0;
};

// Reads a technical-data element (TextId, Value, Unit, Visible) into `item`:
// 1 when filled; 2 for a comment or processing instruction (nothing read) or
// a missing node (then -4000 is logged with `location`, "AssignSpecInfoXML"
// and `filePath`, and the item keeps what it held). An empty display text
// becomes the text id.
int AssignSpecInfoXML(const qmx::xml::Node& node, SpecItem& item, const std::string& location,
                      const std::string& filePath, const TextIdMap& textIds);

// Reads an I/O data element (TextId, ChannelType, DataType, Length, Unit,
// Visible and the optional Conversion) into a new item at `byteOffset`. Null
// for a missing node, a comment or a processing instruction. A Length of 0
// is logged (-1037) and the item returned all the same. The definition
// arguments are handed on to AssignConvInfo; exactly one is given.
std::unique_ptr<IOItem> AssignIOItemXML(const std::string& kind, const qmx::xml::Node& node, uint16_t byteOffset,
                                        const TextIdMap& textIds, const ConvParaSource* adapterDef,
                                        const ConvParaSource* moduleDef);

// Reads one ValueItem element: its ID and, per child element, a record of
// Content, TextId, its display text (the text id when empty), the optional
// Conversion and Unit. The list replaces any list of the same ID in `lists`.
void ReadValueItem(const qmx::xml::Node& node, const TextIdMap& textIds, ValueListMap& lists);

// Reads one parameter element (TextId, ValueItemTarget, DataType, BitOffset,
// ByteOffset, Length, DefaultValue, Changeable, Visible, AllowedValues) into
// a new record of category "PARA".
std::unique_ptr<ParaItem> ReadParameterRef(const qmx::xml::Node& node, const TextIdMap& textIds);

// What a parameter element and a monitoring block item write beyond what
// both share.
enum class ParaItemForm {
  kParameter,  // ByteOffset after BitOffset
  kCommBlock,  // Type (the key) after TextId; no ByteOffset, the block places it
};

// Reads a parameter or monitoring block item (TextId, ValueItemTarget,
// DataType, BitOffset, Length, DefaultValue, Changeable, Visible,
// AllowedValues and what `form` adds, in the order written) into a new
// record of `category`. The data-type text as written goes to
// `dataTypeText` when given.
std::unique_ptr<ParaItem> ReadParaItem(const qmx::xml::Node& node, ParaItemForm form, const char* category,
                                       const TextIdMap& textIds, std::string* dataTypeText = nullptr);

// Display text of a text id; the text id itself when that is empty after
// trimming.
PooledText DisplayTextOrId(const TextIdMap& textIds, const PooledText& textId);

// ---- the shared sections of a device description ---------------------------------

// What tells the two kinds of description apart where they share a section.
struct DescriptionSide {
  const char* deviceInfo;      // "/CouplerProfile/DeviceInfo" or "/IOProfile/DeviceInfo"
  const char* function;        // the reader its lines name: "ParseNA" or "ParseIO"
  const char* definitionWord;  // "Adapter" or "Module", in the registration lines
  // Location of the -6001 line: the module reader names the section begun
  // ("/IOProfile/DeviceInfo/General"), the adapter reader the element being
  // read (".../General/Name").
  bool sectionLocations;
  // An adapter's Parameters element without attributes has no parameter
  // part; a module's still needs its Name and Const and reads its Refs.
  bool attributesGateParameters;
};
extern const DescriptionSide kAdapterSide;
extern const DescriptionSide kModuleSide;

// Longest image a description may give (parameters, inputs, outputs): the
// module list hands every length to the driver as a 16-bit number.
inline constexpr int kMaxImageLength = 0xFFFF;

// One fixed technical-data item of a definition.
struct SpecRow {
  const char* element;  // below ".../Specification"
  SpecItem* item;
  bool optional;        // read only when present, nothing logged when not
};

// Reads the shared sections of one loaded description into a definition
// (NADef or IODef). `location` is the caller's location label; the reader
// moves it on as it goes. XML failures are thrown to the caller.
class DescriptionReader {
public:
  DescriptionReader(const DescriptionSide& side, const qmx::xml::Document& document, const TextIdMap& textIds,
                    const std::string& path, std::string& location);

  // "<deviceInfo>/<section>" and "<deviceInfo>/<section>/<element>".
  std::string Path(const char* section) const;
  std::string Path(const char* section, const char* element) const;

  // General/Name, InfoText, OrderNumber, GraphicFile and HelpLink (all
  // required); returns the HelpLink element.
  qmx::xml::Node ReadGeneralTexts(DeviceDef& def);
  // The fixed items in order (a missing one logged by AssignSpecInfoXML with
  // -4000 and left empty, unless optional), the Height and Width of the item
  // that is `def.dimension`, then every "Items/Ref".
  void ReadSpecification(DeviceDef& def, const std::vector<SpecRow>& rows);
  // Every ValueList/ValueItem.
  void ReadValueLists(ValueListMap& lists);
  // The Parameters element with its Index and Length (a Length outside
  // 0 ... kMaxImageLength refused with -4001 and read as 0), Name, Const and
  // Refs. 1, or -4000 for a missing Parameters, Parameters/Name or
  // Parameters/Const (logged).
  template <class Def>
  int ReadParameters(Def& def);
  // The IOData lengths (bounded like the parameter length) and the Input and
  // Output items at their running offsets; a module's Input and Output also
  // give their channel size ("OneChSize").
  template <class Def>
  void ReadIOData(Def& def);

  // A decimal image length attribute of `node` at `section`: outside
  // 0 ... kMaxImageLength it is refused with -4001 (naming "<section>/@<name>")
  // and read as 0.
  int ImageLength(const qmx::xml::Node& node, const char* attribute, const std::string& section) const;

private:
  template <class Def>
  void ReadIOItems(Def& def, const char* element, const char* kind, std::vector<std::unique_ptr<IOItem>>& items);

  const DescriptionSide& side_;
  const qmx::xml::Document& document_;
  const TextIdMap& textIds_;
  const std::string& path_;
  std::string& location_;
};

// Whether a definition read to its end may be registered: not when its ID is
// empty (it could never be found again) or when `keptFile` is given, the
// file of an earlier definition of the same ID, which is kept. Each refusal
// logs its -4001 line naming the files.
bool MayRegister(const DescriptionSide& side, const std::string& id, const std::string* keptFile,
                 const std::string& path);

// ---- the catalogue lists ------------------------------------------------------------

// The catalogue list of the program folder: "<folder>/Products/<listName>",
// found without regard to case when the exact name is missing.
std::string CatalogueListPath(const std::string& programFolder, const char* listName);
// The device description a list names: "<folder of the list>/<kindFolder>/
// <fileName>" (backslashes read as slashes), found without regard to case
// when the exact name is missing.
std::string CatalogueDescriptionPath(const std::string& listPath, const char* kindFolder, const std::string& fileName);

// One catalogue list being read. The callbacks read a group element and each
// of its children; they move `location`, the label of the -6001 line, on.
struct CatalogueListWalk {
  const char* root;        // the list's document element: "CouplerList" or "IOList"
  std::string groupsPath;  // "/CouplerList/Group" or "/IOList/Group"
  std::string location;    // label before the first group is read
  const char* function;    // "ParseNAFiles" or "ParseIOFiles"
  std::function<void(const qmx::xml::Node& group)> onGroup;
  std::function<void(const qmx::xml::Node& child)> onChild;
};

// Reads a list: the start line, the load (0 after -1027 and its box, also
// for a document whose element is not `root`), every group and every child
// of it (comments, processing instructions and blank text skipped), the
// -6001 line when an XML failure ends the walk, the end line. 1 once the
// list loaded.
int WalkCatalogueList(const std::string& path, CatalogueListWalk& walk);
