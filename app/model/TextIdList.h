// The text-id list and the error list of the catalogue.
//
// Every text the catalogue shows is named by a text id and looked up in
// "Products/listTextId<Language>.xml"; "Products/listError<Language>.xml"
// gives class, description and action texts of numbered rule failures by the
// part of the program that raises them (its generator id).
#pragma once

#include "app/model/PooledText.h"

#include <map>
#include <unordered_map>
#include <string>

// The texts of one text id (the id is the key of its map).
struct TextIdEntry {
  TextIdEntry() = default;
  TextIdEntry(std::string_view displayText, std::string_view description)
      : value(displayText), descValue(description) {}

  PooledText value;      // the display text
  PooledText descValue;  // the longer description
};
// Looked up for every text of every description, in no order.
using TextIdMap = std::unordered_map<std::string, TextIdEntry>;

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
