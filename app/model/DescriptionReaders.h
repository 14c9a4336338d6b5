// Element readers that the adapter and module device descriptions share: a
// specification item, an I/O data item, a value list and a parameter record,
// and the catalogue window the list readers fill.
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
#include <memory>
#include <string>

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

// Reads a specification element (TextId, Value, Unit, Visible) into `item`:
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

// Display text of a text id; the text id itself when that is empty after
// trimming.
std::string DisplayTextOrId(const TextIdMap& textIds, const std::string& textId);
