// The adapter catalogue: the list file "Products/listNA.xml", which groups the
// adapter products, says which are available, names their bus type and points
// to each product's device description in "Products/NA/", and the readers of
// those descriptions.
//
// The catalogue owns the adapter definitions it read (one owner; adapter
// objects of projects only point at them) and the list of distinct bus types.
// A definition is registered only when its description was read to the end;
// a second definition of an ID already registered is refused (the first
// stays, the duplicate is logged with both files), as modules are.
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
  // Takes over a definition read to its end: 1 registered, 0 refused for an
  // empty ID or an ID registered already (logged with -4001, naming both
  // files; the definition is freed). `path` is its file.
  int Register(std::unique_ptr<NADef> definition, const std::string& path);
  // The file a registered definition was read from (empty when unknown).
  std::string FileOf(const NADef* definition) const;
  // Appends a bus type unless it is already listed (compared without regard
  // to case).
  void AddBusType(const std::string& name);
  // The first definition of an ID, or null.
  const NADef* FindByID(const std::string& id) const;

  std::vector<std::unique_ptr<NADef>> definitions;  // registered, in the order registered
  std::vector<std::string> busTypes;                // each once, in the order first met
  std::vector<NACatalogueGroup> groups;             // in file order

private:
  std::vector<std::string> files_;  // file of each registered definition
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
// (-6001 logged with the parser's line and reason for a file that did not
// load; nothing appended); -4000 on a content error: more than four drivers,
// or no Parameters, Parameters/Name or Parameters/Const element. Image
// lengths outside 0 ... 65535 are refused with -4001 and read as 0.
int ParseNA(const std::string& path, int iconIdx, const TextIdMap& textIds,
            std::vector<std::unique_ptr<NADef>>& definitions);

// Reads one description and registers its definition in `catalogue` when it
// was read to the end; the registered definition (null otherwise) goes to
// `registered`. Returns the other form's result.
int ParseNA(const std::string& path, int iconIdx, const TextIdMap& textIds, NACatalogue& catalogue,
            const NADef** registered = nullptr);

// Reads the General section (texts, driver entries, byte order, factory
// setting) of a loaded description; `location` follows the element being
// read. 0 when read, -1 when it names more than four drivers (after -4001).
int MultiParseNAofCommDrivers(const qmx::xml::Document& document, NADef& definition, const TextIdMap& textIds,
                              std::string& location);
