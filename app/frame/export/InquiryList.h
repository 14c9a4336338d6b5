// The inquiry list: the parts list of a project or of one adapter, one entry
// per product model in the scope with its order number and the number of
// pieces. The Inquiry dialog shows it (and exports it as CSV); the
// documentation export writes it into its XML files.
//
// Toolkit-free: it reads the project tree through the workspace only.
#pragma once

#include "app/model/ProjectTree.h"

#include <cstdint>
#include <string>
#include <vector>

class ProjectWorkspace;
class Wrapper;

// One entry of the list. The model name is the key (compared exactly: models
// that differ only in case are two entries).
struct InquiryItem {
  std::string modelName;
  std::string orderNumber;
  int32_t count = 0;
  std::string helpLink;  // carried along for the dialog; not written into the documentation
};

using InquiryList = std::vector<InquiryItem>;

// Counts objects into a list in order of first appearance, then sorts it.
class InquiryCounter {
public:
  // Takes the object's model name, order number and help link; a model seen
  // for the first time gets an entry with count 0; then counts 1 up.
  void Count(const Wrapper& object);
  // The entries sorted by model name ascending without regard to case;
  // names equal without regard to case keep their order of first appearance.
  InquiryList Sorted() const;

private:
  InquiryList items_;  // in order of first appearance
};

// Builds the list of a scope, compared without regard to case:
//   "PROJECT": the project of `item` (a project's own item) or, with
//              kNoTreeItem, the selected project (`report` and the label
//              "GetInquiryList" passed to the look-up); every adapter of its
//              adapter list with the modules below it;
//   "NA":      the adapter of `item` or of the selection, with its modules.
// `out` is emptied first. 1 with the list filled (an empty project gives an
// empty list); 0 when the scope finds nothing, or for any other scope text
// (after a "[Bug] Undefined scope type..." line).
int GetInquiryList(const ProjectWorkspace& workspace, const std::string& scope, InquiryList& out, int report,
                   TreeItem item = kNoTreeItem);
