// The text-id list and the error list of the catalogue.
//
// Every text the catalogue shows is named by a text id and looked up in
// "Products/listTextId<Language>.xml"; "Products/listError<Language>.xml"
// gives class, description and action texts of numbered rule failures by the
// part of the program that raises them (its generator id).
#pragma once

#include "app/model/PooledText.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The texts of one text id (the id is the key of its map).
struct TextIdEntry {
  TextIdEntry() = default;
  TextIdEntry(std::string_view displayText, std::string_view description)
      : value(displayText), descValue(description) {}

  PooledText value;      // the display text
  PooledText descValue;  // the longer description
};
// Text ids and their texts, looked up for every text of every description.
// The entries lie in one vector in the order they came, found through a table
// of their indexes (open addressing): a catalogue of a plant's size has
// thousands, and a map of nodes spends more room on the nodes than on them.
class TextIdMap {
public:
  // The ids are pooled: the catalogue's records name the same ids, and an
  // entry is three handles.
  using value_type = std::pair<PooledText, TextIdEntry>;
  using iterator = std::vector<value_type>::iterator;
  using const_iterator = std::vector<value_type>::const_iterator;

  TextIdMap() = default;
  TextIdMap(std::initializer_list<value_type> entries) {
    reserve(entries.size());
    for (const value_type& e : entries) try_emplace(e.first.str(), e.second);
  }

  iterator find(std::string_view key);
  const_iterator find(std::string_view key) const;
  size_t count(std::string_view key) const { return find(key) == end() ? 0 : 1; }
  // Adds the entry unless the key is there; the entry of the key, and whether it was added.
  std::pair<iterator, bool> try_emplace(std::string_view key, const TextIdEntry& entry);
  // The entry of the key, an empty one added when it is not there.
  TextIdEntry& operator[](std::string_view key) { return try_emplace(key, {}).first->second; }
  // Room for `count` entries in all, so that reading a list of known length
  // leaves no spare capacity behind.
  void reserve(size_t count);
  void clear();

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

private:
  // The slot of the key: the one that holds it, or the free one it would take.
  size_t Slot(std::string_view key) const;
  void Rehash(size_t slots);

  std::vector<value_type> entries_;
  std::vector<uint32_t> slots_;  // index of an entry + 1; 0 is free; a power of two long
};

struct ErrorInfo {
  std::string key;  // "<generator id>_<value text>"
  int code = 0;     // the value text as a decimal number
  std::string errClass;
  std::string description;
  std::string action;
};
using ErrorMap = std::map<std::string, ErrorInfo>;

// Paths of the two lists: "<programFolder>/Products/listTextId<language>.xml"
// and ".../listError<language>.xml". When no file has the exact name, a file
// of the Products folder whose name differs only in letter case is taken.
std::string TextIdListPath(const std::string& programFolder, const std::string& language);
std::string ErrorListPath(const std::string& programFolder, const std::string& language);

// Read the lists. 1 when the file loaded (also when a missing attribute ended
// the reading early: the entries read before stay, -6001 is logged), 0 when it
// did not load (-1027 with a message box). The first entry of a text id wins;
// a later error entry of the same key replaces the earlier one.
int ParseTextIdFile(const std::string& path, TextIdMap& map);
int ParseErrorFile(const std::string& path, ErrorMap& map);

// Class, description and action of the code of a generator id ("%s_%d"). 1
// when found; else the outputs are emptied, -1013 is logged and 0 returned.
int GetErrInfo(const ErrorMap& map, const std::string& category, int code, std::string& errClass,
               std::string& description, std::string& action);

// The texts of a text id, as held: an unknown id gives empty texts and logs
// -1001.
TextIdEntry GetTextIdTexts(const TextIdMap& map, const std::string& textId);
// Display text of a text id, its description into `description`. An unknown
// id gives empty texts and logs -1001.
std::string GetTextIdValue(const TextIdMap& map, const std::string& textId, std::string& description);
