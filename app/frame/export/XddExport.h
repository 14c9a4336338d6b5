// The XDD export: the POWERLINK device description of a project made of one
// POWERLINK adapter and its modules. The file is assembled from the profile
// container template, one mappable object per module slot (with a data type
// and a parameter for input and output modules) and the standard object
// list, and saved where the user chooses.
//
// Toolkit-free: the caller asks for the file name; the templates are compiled
// into the program (resources/QMX410Tools/xdd).
#pragma once

#include "app/model/IODef.h"
#include "app/model/ProjectTree.h"

#include <filesystem>
#include <string>

class IODef;
class ProjectWorkspace;

namespace qmx::xdd {

// The three templates: the profile container, the standard object list and
// the indenting stylesheet.
struct Templates {
  std::string container;
  std::string objects;
  std::string stylesheet;
};
const Templates& BuiltInTemplates();

// The object table every module of the "R" family carries.
const XddObject::Table& StandardObjectTable();
// Fills a definition's table: index 2100, name "Mappable_Ex_Slot_", object
// type 9, the 25 standard rows.
void FillXddObjectTable(IODef& definition);

// Module class of a definition ID: the character at index 6, "3" input (1),
// "4" output (2); anything else 0.
int ModuleClass(const std::string& id);

// The command is offered for a project item with exactly one child whose
// adapter is of the POWERLINK product (decided by its definition, not by the
// name the user gave it).
bool IsXddExportable(const ProjectWorkspace& workspace, TreeItem selected);

struct Result {
  bool ok = false;
  std::string text;   // the document's text, ready to be written
  std::string error;  // why no document could be made
  int leftOut = 0;    // modules without an object table, each logged
};

// Builds the document of the project item's adapter and modules and inserts
// the namespace and profile-body attributes. `creator` goes into fileCreator
// and fileModifiedBy. A module whose definition has no object table (not of
// the "R" family) is left out with a warning line naming its slot and model;
// the slots after it keep their indices.
Result GenerateXdd(const ProjectWorkspace& workspace, TreeItem projectItem, const Templates& templates,
                   const std::string& creator);

// The attribute texts inserted into the first ISO15745ProfileContainer and
// the first two ProfileBody start tags of a document's text.
std::string InsertProfileAttributes(const std::string& text, const std::string& creator);

// Creates (or replaces) the file with the text's bytes. False with the reason.
bool WriteXddFile(const std::filesystem::path& path, const std::string& text, std::string& error);

// The creator name the program writes.
inline constexpr const char* kXddCreator = "QMX-410 Tools";

}  // namespace qmx::xdd
