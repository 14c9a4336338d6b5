#include "driver/address_map.h"

#include <vector>

#include "common/Utility.h"
#include "driver/driver_utils.h"
#include "driver/records.h"

namespace tessivar {
namespace {

enum class ModuleClass { Digital, Analog, Special };

// The class of a module's data in one direction on the split layouts: the
// kind text from its second character on when it is longer than 2.
ModuleClass ClassOf(const std::string& kind, bool output) {
  const std::string k = kind.size() > 2 ? kind.substr(1) : kind;
  if (k == (output ? "DO" : "DI")) return ModuleClass::Digital;
  if (kind == "Special") return ModuleClass::Special;
  if (k == (output ? "AO" : "AI")) return ModuleClass::Analog;
  return ModuleClass::Digital;
}

uint16_t BytesOf(unsigned bits) { return static_cast<uint16_t>((bits + 7) / 8); }

bool ValidPriority(const std::string& p) {
  for (const char* valid : {"A", "B", "8", "16", "4", "2"}) {
    if (EqualsNoCase(p, valid)) return true;
  }
  return false;
}

// Packs the modules of a list bit after bit; returns the packed bytes.
uint16_t Pack(std::vector<ModuleRecord*>& list, bool output) {
  unsigned bits = 0;
  for (ModuleRecord* m : list) {
    const unsigned moduleBits = output ? m->totalOutputBits : m->totalInputBits;
    if (moduleBits == 0) continue;
    ImagePosition& p = output ? m->outCompressed : m->inCompressed;
    p.byte = static_cast<uint16_t>(bits / 8);
    p.bit = static_cast<uint16_t>(bits % 8);
    bits += moduleBits;
  }
  return BytesOf(bits);
}

bool AddressOf(const DeviceRecord& d, const ModuleRecord& m, bool output, ModuleAddress* out) {
  const unsigned bits = output ? m.totalOutputBits : m.totalInputBits;
  if (bits == 0) return false;
  const int mode = output ? d.outputMode : d.inputMode;
  // A mode outside the tables has no layout to place the module in.
  if (!(output ? IsValidOutputMode(mode) : IsValidInputMode(mode))) return false;
  const bool compressed = d.wordAddressing != 0 && (output ? mode == 1 : (mode == 1 || mode == 3));
  if (compressed) {
    if (!(output ? m.outPacked : m.inPacked)) return false;
    out->position = output ? m.outCompressed : m.inCompressed;
  } else {
    out->position = output ? m.outUncompressed : m.inUncompressed;
  }
  if (IsSplitModel(d.model)) {
    const ClassBases& c = d.classBases;
    int base = 0;
    switch (ClassOf(m.kind, output)) {
      case ModuleClass::Digital:
        base = output ? c.digitalOutput : c.digitalInput;
        break;
      case ModuleClass::Analog:
        base = output ? c.analogOutput : c.analogInput;
        break;
      case ModuleClass::Special:
        base = output ? c.specialOutput : c.specialInput;
        break;
    }
    out->wordBase = base;
    out->bitBase = base;
    return true;
  }
  if (output) {
    out->wordBase = d.outputWordBase;
    out->bitBase = d.outputBitBase;
  } else {
    // A status word leads the input data in modes 0 and 1.
    const bool status = d.inputMode == 0 || d.inputMode == 1;
    out->wordBase = d.inputWordBase + (status ? 1 : 0);
    out->bitBase = d.inputBitBase + (status ? 16 : 0);
  }
  return true;
}

std::vector<AddressMapChannel*> Channels(const DeviceRecord& d, const ModuleRecord& m, bool output) {
  std::vector<AddressMapChannel*> channels;
  ModuleAddress a;
  if (!AddressOf(d, m, output, &a)) return channels;
  const unsigned unit = d.wordAddressing == 1 ? 16 : 8;
  const unsigned total = output ? m.totalOutputBits : m.totalInputBits;
  const unsigned perChannel = output ? m.bitsPerOutputChannel : m.bitsPerInputChannel;
  if (perChannel == 0) return channels;  // refused with the module list; never walked
  for (unsigned k = 0; k * perChannel < total; ++k) {
    const auto p = static_cast<uint16_t>(8u * a.position.byte + a.position.bit + k * perChannel);
    channels.push_back(NewAddressMapChannel(static_cast<uint16_t>(perChannel),
                                            static_cast<int32_t>(p / unit) + a.wordBase,
                                            static_cast<int32_t>(p % unit), static_cast<int32_t>(p) + a.bitBase,
                                            m.channelType));
  }
  return channels;
}

std::vector<AddressMapChannel*> Copies(const std::vector<OwnChannel>& own) {
  std::vector<AddressMapChannel*> out;
  for (const OwnChannel& c : own)
    out.push_back(NewAddressMapChannel(c.size, c.wordAddress, c.bitInWord, c.bitAddress, c.type));
  return out;
}

}  // namespace

const char* InputModeText(int mode) {
  switch (mode) {
    case 0:
      return " #0 Status(1word) + Uncompressed Input Processing Data";
    case 1:
      return " #1 Status(1word) +Compressed Input Processing Data";
    case 2:
      return " #2 Uncompressed Input Processing Data without Status";
    case 3:
      return " #3 Compressed Input Processing Data without Status";
    default:
      return " Unknown.";
  }
}

const char* OutputModeText(int mode) {
  switch (mode) {
    case 0:
      return " #0 Uncompressed Output Processing Data";
    case 1:
      return " #1 Compressed Output Processing Data";
    default:
      return " Unknown.";
  }
}

void AssignAddresses(DeviceRecord& d, const std::string& prefix, const AddressLog& error) {
  const bool split = IsSplitModel(d.model);
  uint16_t inCounter = 0;
  uint16_t outCounter = 0;
  uint16_t classCounters[2][2] = {};  // [output][digital, analog]
  std::vector<ModuleRecord*> inPack, outPack;

  auto checkPriority = [&](ModuleRecord& m, bool output) {
    if (ValidPriority(m.priority)) {
      (output ? outPack : inPack).push_back(&m);
      (output ? m.outPacked : m.inPacked) = true;
      return;
    }
    error(StrFormat(output ? "%s Invalid output address map priority character. Contact the dealer. "
                             "AddrMapPriority: %s."
                           : "%s Invalid input address map priority character. Contact the dealer. "
                             "AddrMapPriority: %s.",
                    prefix.c_str(), m.priority.c_str()));
  };

  for (ModuleRecord& m : d.modules) {
    m.inPacked = m.outPacked = false;
    m.inUncompressed = m.inCompressed = m.outUncompressed = m.outCompressed = ImagePosition{};
    if (split) {
      for (bool output : {false, true}) {
        const unsigned bits = output ? m.totalOutputBits : m.totalInputBits;
        if (bits == 0) continue;
        // "Special" modules share the analog area.
        const bool digital = ClassOf(m.kind, output) == ModuleClass::Digital;
        uint16_t& counter = classCounters[output][digital ? 0 : 1];
        (output ? m.outUncompressed : m.inUncompressed) = ImagePosition{counter, 0};
        counter = static_cast<uint16_t>(counter + BytesOf(bits));
        checkPriority(m, output);
      }
      continue;
    }
    // Standard layout: every module takes an input place, whatever its bits.
    m.inUncompressed = ImagePosition{inCounter, 0};
    inCounter = static_cast<uint16_t>(inCounter + BytesOf(m.totalInputBits));
    checkPriority(m, false);
    if (m.totalOutputBits > 0) {
      m.outUncompressed = ImagePosition{outCounter, 0};
      outCounter = static_cast<uint16_t>(outCounter + BytesOf(m.totalOutputBits));
      checkPriority(m, true);
    }
  }
  const uint16_t cin = Pack(inPack, false);
  const uint16_t cout = Pack(outPack, true);
  const uint16_t ain = d.adapterInput;
  const uint16_t aout = d.adapterOutput;
  d.inputLengths = {static_cast<uint16_t>(ain + inCounter + 2), static_cast<uint16_t>(ain + cin + 2),
                    static_cast<uint16_t>(ain + inCounter), static_cast<uint16_t>(ain + cin)};
  d.outputLengths = {static_cast<uint16_t>(aout + outCounter), static_cast<uint16_t>(aout + cout)};
}

bool InputAddress(const DeviceRecord& device, const ModuleRecord& module, ModuleAddress* out) {
  return AddressOf(device, module, false, out);
}

bool OutputAddress(const DeviceRecord& device, const ModuleRecord& module, ModuleAddress* out) {
  return AddressOf(device, module, true, out);
}

AddressMapInfo* BuildAddressMap(const DeviceRecord& d, int slot, const std::string& prefix, const AddressLog& error) {
  std::vector<const ModuleRecord*> shown;
  for (size_t i = 0; i < d.modules.size(); ++i) {
    if (slot < 1 || static_cast<int>(i) + 1 == slot) shown.push_back(&d.modules[i]);
  }
  // A mode that a shown module needs must be one the map can lay out.
  for (const ModuleRecord* m : shown) {
    if (m->totalInputBits > 0 && !IsValidInputMode(d.inputMode)) {
      error(StrFormat("%s Invalid input image mode. Contact the dealer. mode: %d.", prefix.c_str(), d.inputMode));
      return nullptr;
    }
    if (m->totalOutputBits > 0 && !IsValidOutputMode(d.outputMode)) {
      error(StrFormat("%s Invalid output image mode. Contact the dealer. mode: %d.", prefix.c_str(), d.outputMode));
      return nullptr;
    }
  }
  std::vector<AddressMapRow*> rows;
  if (slot < 1) rows.push_back(NewAddressMapRow(0, 1, d.name, "NA", Copies(d.ownInputs), Copies(d.ownOutputs)));
  for (const ModuleRecord* m : shown) {
    const int index = static_cast<int>(m - d.modules.data()) + 1;
    rows.push_back(NewAddressMapRow(index, m->iconIndex, m->label, m->kind, Channels(d, *m, false),
                                    Channels(d, *m, true)));
  }
  return NewAddressMapInfo(d.wordAddressing, d.inputMode, d.outputMode, InputModeText(d.inputMode),
                           OutputModeText(d.outputMode), rows);
}

}  // namespace tessivar
