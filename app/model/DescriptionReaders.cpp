#include "app/model/DescriptionReaders.h"

#include "app/model/AppOptions.h"
#include "app/model/DataTypes.h"
#include "app/model/Logging.h"
#include "common/Utility.h"

using qmx::reader::IsBlankText;
using qmx::reader::IsCommentOrPi;
using qmx::reader::RequireAttribute;

std::string DisplayTextOrId(const TextIdMap& textIds, const std::string& textId) {
  std::string description;
  std::string text = GetTextIdValue(textIds, textId, description);
  if (IsStrEmpty(text, 1)) text = textId;
  return text;
}

int AssignSpecInfoXML(const qmx::xml::Node& node, SpecItem& item, const std::string& location,
                      const std::string& filePath, const TextIdMap& textIds) {
  if (!node) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Error Code: %d] Node does not defined. Loc:%s. Func: %s. xml file: %s", -4000,
                      location.c_str(), "AssignSpecInfoXML", filePath.c_str()));
    return 2;
  }
  if (IsCommentOrPi(node)) return 2;

  item.textId = RequireAttribute(node, "TextId");
  item.displayText = GetTextIdValue(textIds, item.textId, item.description);
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
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] Length is empty in XML. Name:%s. Func: %s.", -1037, item->textId.c_str(),
                      "AssignIOItemXML"));
  }
  return item;
}

void ReadValueItem(const qmx::xml::Node& node, const TextIdMap& textIds, ValueListMap& lists) {
  const std::string id = RequireAttribute(node, "ID");
  ValueList list;
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
  lists[id] = std::move(list);
}

std::unique_ptr<ParaItem> ReadParameterRef(const qmx::xml::Node& node, const TextIdMap& textIds) {
  auto item = std::make_unique<ParaItem>();
  item->category = "PARA";
  item->textId = RequireAttribute(node, "TextId");
  item->valueItemTarget = RequireAttribute(node, "ValueItemTarget");
  item->dataType = GetDataTypeCode(RequireAttribute(node, "DataType"));
  item->bitOffset = static_cast<uint16_t>(DecimalTextToInt(RequireAttribute(node, "BitOffset")));
  item->byteOffset = static_cast<uint16_t>(DecimalTextToInt(RequireAttribute(node, "ByteOffset")));
  item->length = static_cast<uint16_t>(DecimalTextToInt(RequireAttribute(node, "Length")));
  item->defaultValue = RequireAttribute(node, "DefaultValue");
  item->changeable = StrToBool(RequireAttribute(node, "Changeable"));
  item->visible = StrToBool(RequireAttribute(node, "Visible"));
  item->AssignAllowedValues(RequireAttribute(node, "AllowedValues"), item->textId);
  item->displayText = DisplayTextOrId(textIds, item->textId);
  return item;
}
