// The common base of the objects the project tree carries: the project, the
// network adapter and the I/O module. Views, dialogs and commands handle every
// tree object through Wrapper and its virtual operations without knowing its
// kind; the kind is also readable as the type tag ("PROJECT", "FOLDER", "NA",
// "IO", compared without regard to case).
//
// A Wrapper holds the byte images of its object: PARA (parameters), OUTPUT
// (output values) and, for adapters, MON_INIT (the communication-init block).
// They are downloaded, uploaded and saved as they are; an image's length is
// its size, and an image that was never made is absent (length 0).
#pragma once

#include "app/model/AdapterLink.h"
#include "app/model/IOItem.h"
#include "app/model/OnlineBytes.h"
#include "app/model/ParaItem.h"
#include "app/model/ValueConversion.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

inline constexpr const char* kTypeProject = "PROJECT";
inline constexpr const char* kTypeFolder = "FOLDER";
inline constexpr const char* kTypeNA = "NA";
inline constexpr const char* kTypeIO = "IO";

// Online image kinds (also the driver's source and target numbers).
enum OnlineImageKind : int {
  kOnlinePara = 0,
  kOnlineMonInit = 1,
  kOnlineMonFreq = 2,
  kOnlineInput = 3,
  kOnlineOutput = 4,
};

class Wrapper {
public:
  virtual ~Wrapper();
  Wrapper(const Wrapper&) = delete;
  Wrapper& operator=(const Wrapper&) = delete;

  // ---- virtual operations, in the order the views rely on ----
  virtual std::string GetModelName() const { return {}; }
  virtual std::string GetOrderNumber() const { return {}; }
  virtual std::string GetInfoText() const { return {}; }
  virtual std::string GetHelpLink() const { return {}; }
  virtual std::string GetGraphicFile() const { return {}; }
  virtual void SetName(const std::string& name) { name_ = name; }
  virtual std::string GetName() const { return name_; }
  // 1 unless the object is a project or a folder.
  virtual int IsModule() const;
  // Stores the title trimmed.
  virtual void SetTitle(const std::string& title);
  // The position number; a position of 0 or below is logged as a bug and
  // answered all the same.
  virtual int GetPosNo() const;
  // Label by the frame's naming mode: 1 "Product View" the model name,
  // 2 "Product, Desc View" the description, any other the name.
  virtual std::string GetLabel(int viewMode) const;
  // Entry text of a value list; "INVALID" for a plain object.
  virtual std::string GetValueText(const std::string& listName, const std::string& key) const;
  virtual int GetByteOrderMode() const { return 0; }
  virtual int GetSize() const { return 0; }
  virtual std::string GetDescription() const = 0;

  // The definition's default PARA image (adapter), the module's own default
  // image (module), null for other kinds.
  virtual const std::vector<uint8_t>* GetDefaultParaImage() const { return nullptr; }
  // The definition's default MON_INIT image (adapter); null otherwise.
  virtual const std::vector<uint8_t>* GetDefaultMonInitImage() const { return nullptr; }
  // For adapters and modules: the definition's flag that a conversion rule
  // depends on a parameter value; 0 for other kinds.
  virtual int IsConvByParaUsed() const { return 0; }

  // Applies a value the user edited in a grid: "Parameters" with a parameter
  // record writes the value (or, for a value list, the entry of the chosen
  // index) into the parameter's image; "ProcessImg" with an I/O item writes
  // the channel `selection` of it into OUTPUT; "ProcessImg" without an item
  // and selection "ALL" writes the whole OUTPUT image as hexadecimal text.
  // Marks the project modified first.
  virtual void ChagnedValueByUsr(const std::string& grid, const std::string& selection, const ParaItem* para,
                                 const IOItem* ioItem, const std::string& value);

  // ---- values by data type ----
  // Writes a user's text into an image ("PARA", "OUTPUT", "MON_INIT") by data
  // type; `rule` is the conversion rule of a Float16 (may be null). 1 written,
  // 0 refused (logged), 2 nothing done.
  int SetUsrValToPrjMemory(const std::string& value, const std::string& imageKind, int dataType, uint16_t size,
                           int byteOffset, int bitOffset, const IOItem* rule);
  // The text of a value of an image; `out` is emptied first. Display mode
  // "HEX", "DEC" (Float16 raw decimal) or any other text (normal form).
  int GetUsrValFromPrjMemory(std::string& out, const std::string& imageKind, const std::string& caller,
                             const std::string& displayMode, int dataType, uint16_t size, int byteOffset,
                             int bitOffset, const IOItem* rule) const;
  // The same over a buffer of online values (the object's part of an online
  // image, `length` bytes).
  int GetUsrValFromOnlineMemory(std::string& out, const uint8_t* buffer, int length, const std::string& caller,
                                const std::string& displayMode, int dataType, uint16_t size, int byteOffset,
                                int bitOffset, const IOItem* rule) const;
  // The engineering text of a raw analog value; `context` "PRJ" takes a
  // range-selecting parameter from the project image, "ONLINE" from the
  // adapter's online parameters. Answers `out` as well.
  std::string ConvRawToFloatStr(std::string& out, uint16_t raw, const std::string& context,
                                const IOItem* rule) const;
  // The raw value of an engineering value under the rule as this object
  // selects it: 1 with `raw` set, 0 when the value is refused (logged).
  int ConvFloatToRawChecked(double value, const IOItem* rule, uint16_t& raw) const;
  // The unit text of an item: its fixed unit, or "(%s)" / "(%s) %s" of the
  // units its selecting parameters name in the project and, with an adapter
  // holding online parameters, online.
  std::string GetUnit(std::string& out, const IOItem& item, const AdapterLink* adapter) const;
  // The rule of an item as this object uses it ("PRJ" or "ONLINE" ranges).
  ConvRuleState ActiveRule(const IOItem& item, const std::string& context) const;

  // ---- the images ----
  // Makes the PARA image `paraLength` bytes long with the source's bytes
  // (zeros without a source) and the OUTPUT image `outputLength` bytes of
  // zeros; a length of 0 or below leaves that image as it is. An existing
  // image takes the new length.
  void CreateImages(int paraLength, int outputLength, const uint8_t* paraSource);
  // Adapters only, length above 0: the MON_INIT image becomes `length` bytes
  // of the source (zeros without one).
  void SetMonInitImage(int length, const uint8_t* source);
  // Back to the default images: PARA (and for adapters MON_INIT) take the
  // default bytes; OUTPUT is not touched.
  void ResetImagesToDefault();
  // The five online image offsets at once; 1.
  int SetHandles(int para, int monInit, int monFreq, int input, int output);
  // For adapters and modules whose changed flag is 1: clears it, 1; else 0.
  int ClearChangedFlag();

  // The project-file text of an image ("PARA", "OUTPUT", "MON_INIT"): two
  // upper-case hex digits per byte, last byte first; empty for projects,
  // folders, other kinds and absent images.
  std::string GetImageHexStr(const std::string& imageKind) const;
  // The reverse, for opening project files: 1 the text was taken, 0 refused
  // (length mismatch or a character that is no hex digit, logged; the image
  // stays), 2 nothing to do. An empty text gives PARA the
  // default image (when given), OUTPUT zeros and leaves MON_INIT.
  int GetParaIOSetValFromProject(const std::string& hexText, const std::string& imageKind, int imageLength,
                                 const std::vector<uint8_t>* defaultImage);

  // The image of a kind ("PARA", "OUTPUT", "MON_INIT"), null for any other
  // kind; absent images are empty.
  std::vector<uint8_t>* ImageOfKind(const std::string& imageKind);
  const std::vector<uint8_t>* ImageOfKind(const std::string& imageKind) const;
  // ImageOfKind for a write named `func`; a kind without an image logs its
  // [Bug] line.
  std::vector<uint8_t>* ImageToWrite(const std::string& imageKind, const char* func);

  std::vector<uint8_t>& paraImage() { return para_; }
  std::vector<uint8_t>& outputImage() { return output_; }
  std::vector<uint8_t>& monInitImage() { return monInit_; }
  int ParaLength() const { return static_cast<int>(para_.size()); }
  int OutputLength() const { return static_cast<int>(output_.size()); }
  int MonInitLength() const { return static_cast<int>(monInit_.size()); }

  // Whether the type tag is `tag`, without regard to case.
  bool IsType(const char* tag) const;
  const std::string& TypeTag() const { return typeTag_; }

  // ---- plain fields ----
  std::string title;      // stored trimmed by SetTitle; the comment view edits it directly
  int monitoring = 0;     // 1 while the object monitors
  int commSeqNo = -1;     // 0 for an adapter; 1, 2, ... for communicating modules; -1 otherwise
  int posNo = -1;         // position under its parent
  int changed = 0;        // set when a parameter whose item asks for it was changed
  std::array<int, 5> onlineOffsets{-1, -1, -1, -1, -1};  // by OnlineImageKind

protected:
  explicit Wrapper(std::string typeTag);

  std::string typeTag_;
  std::string name_;

private:
  // The adapter that holds the object, through Services().adapterOf
  // (app/model/Services.h); an adapter is its own. Null without one.
  AdapterLink* Adapter() const;
  // The object's part of its adapter's online parameters, or an empty view.
  OnlineBytes OnlineParaBytes(const char* caller) const;
  // The value text of a selecting parameter ("PRJ" or "ONLINE").
  std::string SelectingParaText(const ParaItem& para, bool online, const char* caller) const;

  // Ranges selected by by-parameter rules, per item and context (false
  // project, true online): the selection belongs to this object.
  mutable std::map<std::pair<const IOItem*, bool>, ConvRuleState> convSelections_;
  std::vector<uint8_t> para_;
  std::vector<uint8_t> output_;
  std::vector<uint8_t> monInit_;
};
