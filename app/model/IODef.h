// The definition of one I/O module product, built once at start-up from its
// device description (Products/IO/<file>.xml) and then shared read-only by
// every module object of that product. The module catalogue owns it.
//
// It holds the product's identity and texts, the features the configuration
// rules read (communication, field-power group borders, system power it
// adds), its specification items, the parameters with their value lists and
// default parameter text, the input and output data items with their
// conversion rules, and for modules of the "R" family the object table of
// the XDD export.
#pragma once

#include "app/model/IOItem.h"
#include "app/model/ParaItem.h"
#include "app/model/SpecItem.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The object table of a module for the XDD export: an object index, name and
// type and 25 rows of 7 text cells. A cell holds at most kCellChars
// characters (bytes of UTF-8, never cutting a character).
class XddObject {
public:
  static constexpr int kRows = 25;
  static constexpr int kColumns = 7;
  static constexpr size_t kCellChars = 99;
  using Table = std::array<std::array<std::string, kColumns>, kRows>;

  // Sets the index, name and type, the row count to 25, and copies every cell
  // (each cut to kCellChars). 1.
  int Assign(int index, const std::string& name, int objectType, const Table& source);
  // The same with a table that other objects may hold too: kept as it is
  // when every cell fits, else copied and cut. 1.
  int Assign(int index, const std::string& name, int objectType, std::shared_ptr<const Table> source);
  void SetIndex(int index) { index_ = index; }
  void SetName(const std::string& name) { name_ = name; }
  const std::string& GetName() const { return name_; }
  int GetObjectType() const { return objectType_; }
  int GetIndex() const { return index_; }
  int GetRowCount() const { return rowCount_; }
  // The cell of a row 0-24 for the columns 0, 1, 2, 4, 5 and 6; column 3, any
  // other column and any other row give an empty text.
  std::string GetSubObjectField(int row, int column) const;

private:
  int index_ = 0;
  std::string name_;
  int objectType_ = 0;
  int rowCount_ = 0;
  // Null until assigned: most modules have no table, and the modules that
  // have one share the family's standard table.
  std::shared_ptr<const Table> cells_;
};

class IODef {
public:
  IODef();
  virtual ~IODef();
  IODef(const IODef&) = delete;
  IODef& operator=(const IODef&) = delete;

  // Stores the default parameter text: trimmed, upper-cased, without "," ,
  // "0X" and blanks; kept only when the parameter length is above 0, the text
  // has exactly twice that many characters and all of them are hex digits.
  // 1 kept, 0 left as it was.
  int AssignDefaultParaText(const std::string& text);
  // The product code as a number ("0x1108" and "1108" both give 0x1108).
  uint16_t GetProductCode() const;
  // The parameter at a 1-based position; null past the end (silently) and for
  // 0 or below (with a [Bug] line).
  ParaItem* FindParaByIdx(int index) const;
  // What the conversion rules of the I/O items look up in this definition.
  ConvParaSource ConvSource();
  // The value list of an id, or null.
  const ValueList* FindValueList(const std::string& id) const;

  // Identity and texts.
  std::string ID;
  std::string productCodeText;  // hexadecimal, with or without "0x"
  std::string category;         // family letter + kind ("NDI", "NAO", ...); "R..." carries an XDD table
  std::string modelNameTextId;
  std::string modelName;
  std::string description;
  std::string infoText;
  std::string orderNumber;
  std::string graphicFile;  // picture stem: Image/<stem>.bmp, Image/<stem>-OFF.bmp
  std::string helpLink;     // technical-data page
  std::string keySpec;
  std::string addrMapPriority;

  // Features.
  int canCommunication = 1;      // 1: takes part in the adapter's communication
  int fieldPwrCutoffBefore = 0;  // starts a new field-power group
  int fieldPwrFreeNext = 0;      // the next module may belong to any group
  int systemPwrExpansion = 0;    // system power it adds to the budget, mA

  // Specification.
  SpecItem hardwareVer;
  SpecItem dimension;
  SpecItem powerDissipation;
  SpecItem allowedInSlots;
  SpecItem fieldPower;  // value: the field-power group number
  std::string dimensionHeight;
  std::string dimensionWidth;
  std::vector<SpecItem> moreSpecItems;  // "Items/Ref"

  // I/O data.
  int inputLength = 0;   // bytes of the input image
  int outputLength = 0;  // bytes of the output image
  int inputChannelSize = 0;
  int outputChannelSize = 0;
  std::vector<std::unique_ptr<IOItem>> inputItems;
  std::vector<std::unique_ptr<IOItem>> outputItems;
  std::string furtherText;

  // Parameters.
  int paraIndex = 0;
  int paraLength = 0;  // length of the PARA image
  std::vector<std::unique_ptr<ParaItem>> paraItems;
  ValueListMap valueLists;
  std::string defaultParaText;  // default PARA image as hex text, first byte first; empty: zeros

  int iconIdx = 0;     // picture of the module's group in the catalogue window
  int convByPara = 0;  // set when an I/O item's conversion depends on a parameter

  XddObject xddObject;
};
