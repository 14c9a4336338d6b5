// The shipped catalogue as the simulator sees it: the adapter and module
// products of listNA.xml and listIO.xml with what a station of them answers
// on the wire (product codes, parameter and image sizes, module kinds and
// bits). It reads the same description files as the main program, so a
// station started by catalogue names ("--model QMX-4101 --modules
// QMX-1808,QMX-2808") reports what the program expects of it.
//
// The numbers are derived exactly as the main program derives the module
// list it hands to the driver:
//  - product code: DeviceInfo/@DeviceID (hexadecimal, "0x" optional);
//  - parameter block: Parameters/@Length bytes, its initial content the
//    default image of Parameters/Const/@Data when that has exactly that
//    many bytes;
//  - image bytes: IOData/@InputLength and @OutputLength;
//  - module kind: DeviceInfo/@Category ("NDI", "NDO", "NAI", "NAO", "NPW");
//  - input bits: over the input items, an item whose ChannelType is "DI"
//    counts its Length as bits, any other item 8 times its byte size (the
//    output bits likewise with "DO");
//  - communication: General/Features/@CanCommunication.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/simulator/station.h"

namespace qmx::sim {

struct CatalogueAdapter {
  std::string id;                      // DeviceInfo/@ID, e.g. "QMX-4101"
  uint16_t productCode = 0;
  std::vector<std::string> busTypes;   // BusType, then BusType1 .. BusType(BusNum-1)
  uint16_t paraLength = 0;
  std::vector<uint8_t> defaultPara;    // image order; empty when the file gives none
  uint16_t inputLength = 0;            // the adapter's own I/O bytes
  uint16_t outputLength = 0;
  std::vector<std::string> initBlock;  // Type of each item of the InitOnly CommBlock, in order
};

struct CatalogueModule {
  std::string id;        // DeviceInfo/@ID, e.g. "QMX-1808"
  uint16_t productCode = 0;
  std::string category;  // the kind text of the module list
  uint16_t paraLength = 0;
  std::vector<uint8_t> defaultPara;
  uint16_t inputLength = 0;
  uint16_t outputLength = 0;
  uint16_t inputBits = 0;
  uint16_t outputBits = 0;
  bool canCommunicate = false;

  ModuleSpec Spec() const;
};

class Catalogue {
public:
  // Reads listNA.xml and listIO.xml of a Products folder and every
  // description of an available product. False with a reason naming the
  // file for a list or description that cannot be read, or whose sizes
  // contradict each other (items that do not fill InputLength, an image
  // larger than a station can carry).
  static bool Load(const std::filesystem::path& productsDir, Catalogue* out, std::string* error);

  // Look-ups by ID, without regard to case; null when absent.
  const CatalogueAdapter* FindAdapter(const std::string& id) const;
  const CatalogueModule* FindModule(const std::string& id) const;

  const std::vector<CatalogueAdapter>& adapters() const { return adapters_; }
  const std::vector<CatalogueModule>& modules() const { return modules_; }

private:
  std::filesystem::path folder_;
  std::vector<CatalogueAdapter> adapters_;
  std::vector<CatalogueModule> modules_;
};

// The Products folder of the source tree this simulator was built from.
std::filesystem::path DefaultCatalogueFolder();

// Byte size of `count` values of a description's data type, as the
// catalogue readers count it ("Bit" 1, "BitArea" (count + 7) / 8,
// "Unsigned16" 2 x count, ...); -1 for an unknown type name.
int DataTypeSize(const std::string& typeName, int count);

}  // namespace qmx::sim
