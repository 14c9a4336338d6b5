// The module catalogue: the list file "Products/listIO.xml", which groups the
// I/O module products and says which are offered, and the readers of each
// offered module's device description in "Products/IO/".
//
// The catalogue is the one owner of the module definitions. A definition is
// registered - entered into its group and into the look-ups by ID text and by
// product code - only when its description was read to the end; a second
// definition of an ID already registered is not registered (the first one
// stays, the duplicate is logged with its file). Groups and look-ups only
// point at the owned definitions, so nothing is freed twice or left behind.
#pragma once

#include "app/model/DescriptionReaders.h"
#include "app/model/IODef.h"
#include "app/model/TextIdList.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// One module group of the list: a folder of the catalogue window.
struct IOGroup {
  std::string Category;                 // the group's text id
  std::string Title;                    // its display text (empty when undefined)
  std::string Description;              // its description text (empty likewise)
  std::vector<const IODef*> Modules;    // registered definitions, in file order; owned by the catalogue
};

class IOCatalogue {
public:
  // Takes over a definition read to its end: 1 registered, 0 refused because
  // a definition of the same ID is registered already (logged with -4001,
  // naming both files; the definition is freed). `path` is its file.
  int Register(std::unique_ptr<IODef> definition, const std::string& path);

  // The definition of an ID text (exact), or null.
  const IODef* FindByID(const std::string& id) const;
  // The first registered definition of a product code, or null.
  const IODef* FindByProductCode(uint16_t code) const;
  // The first registered definition of a product code whose category begins
  // with `familyLetter` (case-sensitive), or null.
  const IODef* FindByProductCodeCat(uint16_t code, char familyLetter) const;
  // The file a registered definition was read from (empty when unknown).
  std::string FileOf(const IODef* definition) const;

  // Registered definitions in the order registered.
  const std::vector<std::unique_ptr<IODef>>& definitions() const { return definitions_; }
  size_t size() const { return definitions_.size(); }

  std::vector<IOGroup> groups;  // in file order

  // Fills the XDD object table of definitions whose category begins with
  // "R" (the XDD export's table); nothing when unset.
  std::function<void(IODef&)> fillXddObjectTable;

private:
  std::vector<std::unique_ptr<IODef>> definitions_;
  std::vector<std::string> files_;                            // file of each definition
  std::unordered_map<std::string, IODef*> byId_;  // looked up for every module of a project read
  std::map<uint16_t, std::vector<IODef*>> byProductCode_;     // in the order registered
};

// The module list of the program folder ("<appDir>/Products/listIO.xml").
std::string IOListPath(const std::string& programFolder);
// The device description a list names: "<folder of the list>/IO/<fileName>",
// found without regard to case when the exact name is missing.
std::string IODescriptionPath(const std::string& listPath, const std::string& fileName);

// Reads the list and every available module's description into `catalogue`
// (and its folders and items into `toolBox` when given). 1 when the list
// loaded, also when a missing attribute ended its reading early (what was
// read stays, -6001 is logged); 0 when it did not load (-1027 and a box).
int ParseIOFiles(const std::string& path, const TextIdMap& textIds, IOCatalogue& catalogue,
                 CatalogueToolBox* toolBox = nullptr);

// Reads one module description into `definition` (which the caller created;
// `iconIdx` is stored in it). `complete` tells whether the reading ran to its
// end, the only case in which the definition may be registered.
//   1   read to the end, or ended by an XML failure (-6001 logged,
//       `complete` false);
//   0   no /IOProfile/DeviceInfo (also a missing or malformed file; -4000);
//   -4000 no Parameters, Parameters/Name or Parameters/Const element.
// `fillXdd` is called for a definition read to the end whose category begins
// with "R".
int ParseIO(const std::string& path, int iconIdx, const TextIdMap& textIds, IODef& definition, bool& complete,
            const std::function<void(IODef&)>& fillXdd = {});

// Reads one description and registers its definition in `catalogue` when it
// was read to the end; the registered definition (null otherwise) goes to
// `registered`. Returns ParseIO's result.
int ParseIO(const std::string& path, int iconIdx, const TextIdMap& textIds, IOCatalogue& catalogue,
            const IODef** registered = nullptr);
