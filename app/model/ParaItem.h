// The parameter record of adapter and module definitions, which is also the
// item record of an adapter's monitoring blocks, and the value lists that
// name the values of an item.
#pragma once

#include "app/model/PooledText.h"
#include "app/model/DataTypes.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// One item of a PARA image or of a monitoring block (MON_INIT, MON_FREQ).
class ParaItem {
public:
  // Keeps the allowed-value text when it has at least three comma-separated
  // fields (1); an empty text keeps nothing (2); any other text is refused
  // with -4006, naming the text and `paraName` (0). The field is emptied
  // first in every case.
  int AssignAllowedValues(const std::string& text, const std::string& paraName);

  PooledText category{"PARA"};  // "PARA", "MON_INIT" or "MON_FREQ"
  PooledText textId;             // the item's identity
  PooledText displayText;        // display text of the text id
  PooledText key;                // "Type" of a block item, e.g. "InputMode"
  PooledText valueItemTarget;    // id of the value list naming the values; empty when none
  int dataType = kDataTypeBit;    // data-type code
  uint16_t byteOffset = 0;        // offset in its image
  uint16_t bitOffset = 0;
  uint16_t length = 0;            // count of the data type
  PooledText defaultValue;
  int changeable = 0;
  int visible = 0;
  PooledText allowedValues;      // kept only when valid
  int convPara = 0;               // 1 when an I/O item's conversion depends on this parameter
};

// One entry of a value list.
struct ValueRecord {
  PooledText textId;
  PooledText content{"0"};  // the value as stored
  PooledText displayText;
  PooledText conversion;
  PooledText unit;

  friend bool operator==(const ValueRecord&, const ValueRecord&) = default;
};

// The entries of a value list, held once for all lists of equal entries
// (lists such as on/off, filter times or ranges recur across products): a
// handle to an immutable list of a process-wide pool, read like the vector
// it names.
class ValueList {
public:
  ValueList() noexcept;
  explicit ValueList(const std::vector<ValueRecord>& records);
  ValueList(std::initializer_list<ValueRecord> records) : ValueList(std::vector<ValueRecord>(records)) {}

  const std::vector<ValueRecord>& records() const noexcept { return *records_; }
  size_t size() const noexcept { return records_->size(); }
  bool empty() const noexcept { return records_->empty(); }
  const ValueRecord& operator[](size_t i) const noexcept { return (*records_)[i]; }
  const ValueRecord& at(size_t i) const { return records_->at(i); }
  const ValueRecord& front() const noexcept { return records_->front(); }
  const ValueRecord& back() const noexcept { return records_->back(); }
  std::vector<ValueRecord>::const_iterator begin() const noexcept { return records_->begin(); }
  std::vector<ValueRecord>::const_iterator end() const noexcept { return records_->end(); }

  // Equal lists are one pooled list.
  friend bool operator==(const ValueList& a, const ValueList& b) noexcept { return a.records_ == b.records_; }

  // How many distinct non-empty lists the pool holds, and the way back to
  // an earlier count, as for the texts (PooledText::ShrinkPoolTo); lists go
  // before the texts they hold.
  static size_t PoolSize();
  static void ShrinkPoolTo(size_t poolSize);

private:
  const std::vector<ValueRecord>* records_;
};
// Value-list id to its entries.
using ValueListMap = std::map<std::string, ValueList>;
