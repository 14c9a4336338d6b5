// The adapter catalogue: the list file "Products/listNA.xml", which groups the
// adapter products, says which are available, names their bus type and points
// to each product's device description in "Products/NA/", and the readers of
// those descriptions.
//
// The catalogue owns the adapter definitions it read (one owner; adapter
// objects of projects only point at them) and the list of distinct bus types.
#pragma once

#include "app/model/DescriptionReaders.h"
#include "app/model/NADef.h"
#include "app/model/TextIdList.h"
#include "platform/xml/xml.h"

#include <memory>
#include <string>
#include <vector>

// One available product of the list, as the catalogue window shows it.
struct NACatalogueItem {
  std::string textId;
  std::string name;             // display text of the text id
  int image = 0;                // the group's IconIdx
  std::string busType;
  std::string descriptionPath;  // the device description that was read
  bool shown = true;            // false for the template product "T_NAxxxx"
  const NADef* definition = nullptr;  // null when its description could not be read
};

// One group of the list: a folder of the catalogue window.
struct NACatalogueGroup {
  std::string category;  // text id
  std::string title;     // its display text
  int iconIdx = 0;
  std::vector<NACatalogueItem> items;
};

class NACatalogue {
public:
  // Appends a bus type unless it is already listed (compared without regard
  // to case).
  void AddBusType(const std::string& name);
  // The first definition of an ID, or null.
  const NADef* FindByID(const std::string& id) const;
  // The first definition of a model name (without regard to case), or null.
  const NADef* FindByModelName(const std::string& modelName) const;
  void Clear();

  std::vector<std::unique_ptr<NADef>> definitions;  // in the order read
  std::vector<std::string> busTypes;                // each once, in the order first met
  std::vector<NACatalogueGroup> groups;             // in file order
};

// The catalogue list of the program folder ("<appDir>/Products/listNA.xml").
std::string NAListPath(const std::string& programFolder);
// The device description a list names: "<folder of the list>/NA/<fileName>",
// found without regard to case when the exact name is missing.
std::string NADescriptionPath(const std::string& listPath, const std::string& fileName);

// Reads the list and every available product's description into `catalogue`
// (and its folders and items into `toolBox` when given). 1 when the list
// loaded, also when a missing attribute ended its reading early (what was
// read stays, -6001 is logged); 0 when it did not load (-1027 and a box).
int ParseNAFiles(const std::string& path, const TextIdMap& textIds, NACatalogue& catalogue,
                 CatalogueToolBox* toolBox = nullptr);

// Reads one device description into a new definition, appended to
// `definitions` only when read to its end. 1 read, or ended by an XML failure
// (-6001 logged, nothing appended); -4000 on a content error: more than four
// drivers, or no Parameters, Parameters/Name or Parameters/Const element.
int ParseNA(const std::string& path, int iconIdx, const TextIdMap& textIds,
            std::vector<std::unique_ptr<NADef>>& definitions);

// Reads the General section (texts, driver entries, byte order, factory
// setting) of a loaded description; `location` follows the element being
// read. 0 when read, -1 when it names more than four drivers (after -4001).
int MultiParseNAofCommDrivers(const qmx::xml::Document& document, NADef& definition, const TextIdMap& textIds,
                              std::string& location);
