// The definition of one I/O module product, built once at start-up from its
// device description (Products/IO/<file>.xml) and then shared read-only by
// every module object of that product. The module catalogue owns it.
//
// It holds the product's identity and texts, the features the configuration
// rules read (communication, field-power group borders, system power it
// adds), its specification items, the parameters with their value lists and
// default parameter text, the input and output data items with their
// conversion rules, and for modules of the "R" family the object table of
// the XDD export. What it shares with an adapter definition lives in
// DeviceDef.
#pragma once

#include "app/model/PooledText.h"
#include "app/model/DeviceDef.h"

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

// Its category is the family letter and kind ("NDI", "NAO", ...); a
// category beginning with "R" carries an XDD table.
class IODef : public DeviceDef {
public:
  IODef();
  ~IODef() override;

  // Stores the default parameter text: trimmed, upper-cased, without "," ,
  // "0X" and blanks; kept only when the parameter length is above 0, the text
  // has exactly twice that many characters and all of them are hex digits.
  // 1 kept, 0 left as it was.
  int AssignDefaultParaText(const std::string& text);
  // Identity beside the shared texts.
  PooledText keySpec;
  PooledText addrMapPriority;

  // Features.
  int canCommunication = 1;      // 1: takes part in the adapter's communication
  int fieldPwrCutoffBefore = 0;  // starts a new field-power group
  int fieldPwrFreeNext = 0;      // the next module may belong to any group
  int systemPwrExpansion = 0;    // system power it adds to the budget, mA

  // Specification beside the shared items.
  SpecItem allowedInSlots;
  SpecItem fieldPower;  // value: the field-power group number

  // I/O data beside the shared items.
  int inputChannelSize = 0;
  int outputChannelSize = 0;
  PooledText furtherText;

  PooledText defaultParaText;  // default PARA image as hex text, first byte first; empty: zeros

  XddObject xddObject;
};
