// Process-image decoding of device data (ModbusDriver::StoreImage) on
// arbitrary bytes: the first bytes lay out a station as the main program
// would hand it over (the adapter model, the adapter's and every module's
// sizes, bits, kind and priority, the image modes), the next pick the image
// kind and the offset, the rest are the data as a device answered them. No
// image changes its size, none is read or written past its end, and the kind
// stored is marked as read.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/modbus_driver.h"

using namespace tessivar;

namespace {

// The input's bytes in turn; zeros once they are used up.
struct Bytes {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t Take() { return at < size ? data[at++] : 0; }
  uint16_t Take16() { return static_cast<uint16_t>(Take() << 8 | Take()); }
};

// Each family of layouts: plain, fixed-I/O, split, the serial-line set.
const char* const kModels[] = {"QMX-4101", "DM-T640", "KA-4470", "KX-4470", "KA-4519", "KA-4511"};
const char* const kKinds[] = {"DI", "DO", "AI", "AO", "Special", "Power"};
const char* const kPriorities[] = {"1", "2", "3", "X", ""};
const char* const kInitBlocks[] = {"", "Status,Unsigned16,2\tFieldPower,Unsigned16,2", "Bad"};
constexpr int kFuzzedKinds[] = {DRV_IMAGE_PARA, DRV_IMAGE_COMMINIT, DRV_IMAGE_INPUT, DRV_IMAGE_OUTPUT, 2};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in{data, size};
  const std::string model = kModels[in.Take() % 6];
  // An instance of its own for every input, so that what an input finds
  // replays from that input alone.
  DriverInstance instance;
  auto& driver = static_cast<ModbusDriver&>(instance.Driver());
  if (driver.SetDeviceProperty("K", model, "0x4101,1", true) != 1) std::abort();

  const size_t modules = in.Take() % 9;
  std::vector<std::string> lines(modules + 1);
  std::vector<ModuleListEntry> entries(modules + 1);
  entries[0] = {0x4101, "NA", "Station", static_cast<uint16_t>(in.Take() % 8), kInitBlocks[in.Take() % 3], "",
                static_cast<uint16_t>(in.Take() % 24), static_cast<uint16_t>(in.Take() % 24), ""};
  for (size_t i = 1; i <= modules; ++i) {
    const char* kind = kKinds[in.Take() % 6];
    const char* priority = kPriorities[in.Take() % 5];
    const int inBits = 1 + in.Take() % 16, outBits = 1 + in.Take() % 16;
    const int totalIn = in.Take16() % 1024, totalOut = in.Take16() % 1024;
    lines[i] = StrFormat("%s,%s,%d,%d,%d,%d,0,%s,%d", kind, priority, inBits, outBits, totalIn, totalOut, kind,
                         static_cast<int>(in.Take() % 10) - 1);
    entries[i] = {static_cast<uint16_t>(0x1000 + i), "IO", "Module", static_cast<uint16_t>(in.Take() % 8), "", "",
                  static_cast<uint16_t>(in.Take() % 130), static_cast<uint16_t>(in.Take() % 130), lines[i].c_str()};
  }
  if (driver.SetModuleList("K", entries.data(), static_cast<int>(entries.size())) != 1) return 0;
  // Modes outside the tables too: they must store nothing out of place.
  driver.SetProcessImgMode("K", in.Take() % 5, in.Take() % 3);

  DeviceRecord device;
  if (!driver.Device("K", &device)) std::abort();
  std::array<size_t, 5> sizes{};
  for (size_t k = 0; k < 5; ++k) sizes[k] = device.images[k].size();
  const int kind = kFuzzedKinds[in.Take() % 5];
  const size_t offset = in.Take16();
  const size_t rest = size - std::min(in.at, size);
  driver.StoreImage(device, kind, data + (size - rest), rest, offset);
  for (size_t k = 0; k < 5; ++k) {
    if (device.images[k].size() != sizes[k]) std::abort();
  }
  if (kind != 2 && (device.validImages & (1u << kind)) == 0) std::abort();
  return 0;
}
