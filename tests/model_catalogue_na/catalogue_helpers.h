// Helpers of the adapter catalogue tests: a recording catalogue window, a
// copy of the small test catalogue in a temporary folder, and XPath-driven
// mutants of its files.
#pragma once

#include "app/model/DescriptionReaders.h"
#include "app/model/Logging.h"
#include "app/model/TextIdList.h"
#include "tests/support/test_support.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace qmx::test {

class RecordingToolBox : public CatalogueToolBox {
public:
  int AddFolder(const std::string& name, int image) override {
    folders.emplace_back(name, image);
    return static_cast<int>(folders.size()) - 1;
  }
  int AddItem(int folder, const std::string& name, int image, int data) override {
    items.push_back({folder, name, image, data});
    return 1;
  }
  struct Item {
    int folder;
    std::string name;
    int image;
    int data;
  };
  std::vector<std::pair<std::string, int>> folders;
  std::vector<Item> items;
};

// One change of an XML file: the element at `xpath` is removed (attribute
// null), or its attribute is removed (value null) or set to `value`.
struct Mutation {
  std::string xpath;
  const char* attribute = nullptr;
  const char* value = nullptr;
};
std::string ToString(const Mutation& mutation);

// Rewrites the file with the mutation applied; fails the test when the
// XPath selects nothing.
void ApplyMutation(const std::filesystem::path& file, const Mutation& mutation);

// The test catalogue copied into `dir`: dir/listNA.xml, dir/NA/*.xml.
void CopyTestCatalogue(const std::filesystem::path& dir);
// The texts of the test catalogue.
TextIdMap LoadTestTexts();

// Lines of the capture in category 0 (errors).
std::vector<LogRecord> ErrorLines(const std::vector<LogRecord>& records);
// Whether some line starts with "[Error Code: <code>]" and contains `part`.
bool HasCodeLine(const std::vector<LogRecord>& records, int code, const std::string& part);

}  // namespace qmx::test
