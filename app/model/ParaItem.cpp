#include "app/model/ParaItem.h"

#include "app/model/InternPool.h"
#include "app/model/Logging.h"
#include "common/Utility.h"

#include <functional>

namespace {

// Records of pooled texts are equal when their handles are: the hash mixes
// the handles' addresses.
struct ValueListHash {
  size_t operator()(const std::vector<ValueRecord>& records) const noexcept {
    size_t hash = records.size();
    for (const ValueRecord& r : records) {
      for (const PooledText* text : {&r.textId, &r.content, &r.displayText, &r.conversion, &r.unit}) {
        hash = hash * 1000003u ^ std::hash<const void*>{}(text->c_str());
      }
    }
    return hash;
  }
};

using ValueListPool = InternPool<std::vector<ValueRecord>, ValueListHash>;

ValueListPool& ListPool() {
  static ValueListPool* pool = new ValueListPool;  // never destroyed, as the text pool
  return *pool;
}

const std::vector<ValueRecord>& NoRecords() {
  static const std::vector<ValueRecord>* none = new std::vector<ValueRecord>;
  return *none;
}

}  // namespace

ValueList::ValueList() noexcept : records_(&NoRecords()) {}

size_t ValueList::PoolSize() { return ListPool().Size(); }

void ValueList::ShrinkPoolTo(size_t poolSize) { ListPool().DropAllBut(poolSize); }

ValueList::ValueList(const std::vector<ValueRecord>& records)
    : records_(records.empty() ? &NoRecords() : ListPool().Intern(records)) {}

int ParaItem::AssignAllowedValues(const std::string& text, const std::string& paraName) {
  allowedValues = PooledText();
  if (text.empty()) return 2;
  if (GetCharCount(text, ',') >= 3) {
    allowedValues = text;
    return 1;
  }
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Error Code: %d] Parameter's allowed value format is invalid in XML. %s. Parameter: %s.",
                    qmx::err::kParameterFormat, text.c_str(), paraName.c_str()));
  return 0;
}
