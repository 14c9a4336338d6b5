// The documentation files that the main program writes before it starts the
// report program, read into plain records: the main file (project, adapters
// and modules, the list of stations with their four files) and, per station,
// the node, map, parameter and parts-list files. Everything the report trees
// print comes from here; nothing is read again while a report is built.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qmx::rendaval {

// A station limit of the report program: nodes 0 to 255.
constexpr size_t kMaxNodes = 256;

// The documentation cannot be read (a file that does not load or is malformed,
// more stations than the report takes). The text names the file and the reason.
class DocuError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct DocuModule {
  std::string name, model, type, slot, description;
};

struct DocuAdapter {
  std::string name, model, address, description;
  std::vector<DocuModule> modules;
};

struct DocuChannel {
  std::string type, number, size, inputWord, inputBit, outputWord, outputBit;
};

// One entry of an address map or a parameter list: the adapter's (NA_IO,
// NA_PARA) or a module's (IO).
struct DocuMapEntry {
  std::string name, model;
  std::vector<DocuChannel> channels;
};

struct DocuParam {
  std::string name, value;
};

struct DocuParamObject {
  std::string name, model;
  std::vector<DocuParam> params;
};

struct DocuItem {
  std::string model, partNumber, amount;
};

struct DocuDimension {
  std::string width, height, length;
};

struct DocuNode {
  std::filesystem::path nodeFile, mapFile, paramFile, inquiryFile;
  // Node file.
  std::vector<DocuAdapter> adapters;                         // NODE_VIEW/NetworkAdapter
  std::vector<std::pair<std::string, std::string>> info;     // NODE_VIEW/Node name, value
  std::vector<std::filesystem::path> pictures;               // IMAGE_VIEW/File, in the node folder
  std::vector<DocuDimension> dimensions;                     // IMAGE_VIEW/Dimension
  // Map file: module entries and adapter entries, each in file order.
  std::vector<DocuMapEntry> ioEntries, adapterEntries;
  // Parameter file.
  std::vector<DocuParamObject> ioParams, adapterParams;
  // Parts-list file.
  std::vector<DocuItem> inquiry;
};

struct DocuSet {
  std::string kind;   // "PROJECT", "NA" or what the caller gave
  std::string projectName, date, busType;
  std::filesystem::path imagePath;  // PROJECT/@path: adapter and module pictures
  std::vector<DocuAdapter> overview;  // PROJECT_VIEW/NetworkAdapter (PROJECT only)
  std::filesystem::path nodeDir;
  std::filesystem::path prjInquiryPath;
  std::vector<DocuNode> nodes;
  std::vector<DocuItem> prjInquiry;  // PROJECT only

  bool IsProject() const { return kind == "PROJECT"; }
};

// The largest documentation file read (a station's files are a few kB): a
// larger one is refused before it is read.
inline constexpr std::uint64_t kDocuFileLimit = 32ull * 1024 * 1024;

// Reads the main file and every file it names. The project overview and the
// project parts list are read only for the kind "PROJECT". Throws DocuError.
DocuSet LoadDocuSet(const std::string& kind, const std::filesystem::path& mainFile);

}  // namespace qmx::rendaval
