// The rows of the tab views, built without any toolkit: for a selected
// object (and the value mode) the list of rows with their texts, icons,
// allowed-value definitions, read-only flags and the object, item and key an
// edit goes back to; and the online refreshes as changes of cell texts. The
// Qt views hand these rows to their grids and keep, beside them, one grid
// row per built row, so every look-up of a row is bounded by what was
// built (the shared definitions keep no row handles).
#pragma once

#include "driver/include/tessivar.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CIOUsr;
class CNAUsr;
class Wrapper;
struct IOItem;
class ParaItem;

namespace qmx::views {

// Icon index of item and parameter rows; of address-map channel rows.
inline constexpr int kItemRowIcon = 19;
inline constexpr int kChannelRowIcon = 31;

enum class RowKind {
  kObject,         // the adapter or module itself
  kInputItem,
  kInputBit,
  kOutputItem,
  kOutputBit,
  kByteOutput,
  kModuleSummary,  // one module of a selected adapter (process image)
  kParameter,      // an ordinary (PARA) parameter
  kCommInit,       // a communication-init (MON_INIT) parameter
};

struct ViewRow {
  RowKind kind = RowKind::kObject;
  int parent = -1;  // index of the parent row, -1 at top level
  std::string text;
  int icon = kItemRowIcon;
  int readOnly = 1;
  std::vector<std::string> columns;      // value columns in grid order
  std::vector<std::string> definitions;  // allowed-value definition of each value column
  int dropDownColumn = -1;               // the value column shown as a drop-down list
  std::vector<std::string> choices;
  // Where an edit of the row goes: the object, the item or parameter and the
  // key (bit index, "0", "ALL"; empty for parameters).
  Wrapper* object = nullptr;
  const IOItem* item = nullptr;
  const ParaItem* para = nullptr;
  std::string key;
  int bit = -1;  // bit rows: the bit of the item
};

// A cell whose text an online refresh changed: value column `column` of row `row`.
struct CellChange {
  int row = 0;
  int column = 0;
};

// Empties the value column `column` of every row (an online column whose
// values are no longer current).
void ClearOnlineColumn(std::vector<ViewRow>& rows, int column, std::vector<CellChange>& changes);

// Reads the object's part of the adapter's online image of a kind (an
// adapter reads the whole image from its start) and hands its bytes to `use`
// while the read keeps them. False when the read failed (`use` not called).
bool WithOnlineImage(CNAUsr& adapter, Wrapper& object, int kind, int logErrors, const std::string& caller,
                     const std::function<void(const uint8_t* bytes, int length)>& use);

// ---- process image -----------------------------------------------------------------

// Value columns of the process image grid.
enum ProcessImgColumn : int { kPiType = 0, kPiProject = 1, kPiOnline = 2, kPiUnit = 3 };

// Display format of analog values by value mode: "", "DEC", "HEX".
std::string ValueModeFormat(int valueMode);
// Allowed-value definition of an output item row (not a bit or byte item).
std::string OutputItemDefinition(const IOItem& item, int valueMode);
// The rows of an adapter (its items, then one summary row per module of
// `modules`, in order) or of a module (its items). `adapter` is the station's
// adapter for the unit texts (may be null).
std::vector<ViewRow> BuildProcessImgRows(Wrapper& object, int viewMode, int valueMode,
                                         const std::vector<CIOUsr*>& modules, CNAUsr* adapter);
// The online refresh of the rows of `object`: reads its input and output
// images through the adapter (kind 3 and 4), writes every value that differs
// (ignoring case) and, for an adapter without `quiet`, the summary rows of
// `communicating` modules. 1 done, 0 when an image read failed (cells of
// that image unchanged), 2 nothing to refresh.
int RefreshProcessImgOnline(std::vector<ViewRow>& rows, Wrapper& object, CNAUsr& adapter, int quiet, int valueMode,
                            const std::vector<CIOUsr*>& communicating, std::vector<CellChange>& changes);
// The unit texts again (after a parameter that selects units changed).
void RefreshProcessImgUnits(std::vector<ViewRow>& rows, Wrapper& object, CNAUsr* adapter,
                            std::vector<CellChange>& changes);

// ---- parameters ------------------------------------------------------------------------

enum ParameterColumn : int { kParaProject = 0, kParaOnline = 1 };

std::vector<ViewRow> BuildParameterRows(Wrapper& object, int viewMode);
// Whether the object's definition has parameters of the kind (kParameter or kCommInit).
bool HasParameters(const Wrapper& object, RowKind kind);
// Fills the online column of the rows of one kind from the bytes read for
// it: 1 done. `commDisplay` turns a communication-init value into its text.
using CommDisplayFn = std::string (*)(void* context, const std::string& key, const std::string& value);
void RefreshParameterOnline(std::vector<ViewRow>& rows, Wrapper& object, RowKind kind, const uint8_t* bytes,
                            int length, CommDisplayFn commDisplay, void* context, std::vector<CellChange>& changes);

// ---- address map ----------------------------------------------------------------------

enum AddrMapColumn : int { kAmChannel = 0, kAmInWord = 1, kAmInBit = 2, kAmOutWord = 3, kAmOutBit = 4 };

struct AddrMapTable {
  std::string inputModeText;
  std::string outputModeText;
  std::vector<ViewRow> rows;
};
// The table of a driver's address-map record (empty for none).
AddrMapTable BuildAddrMapTable(const AddressMapInfo* info);
std::string AddrWordText(const AddressMapChannel& channel);
std::string AddrBitText(const AddressMapChannel& channel);

// ---- image view ------------------------------------------------------------------------

// The seven texts of the image view, by control.
struct ImageTexts {
  std::string title;         // 1088
  std::string descCaption;   // 1091
  std::string description;   // 1092
  std::string firstCaption;  // 1084
  std::string firstText;     // 1081
  std::string secondCaption; // 1085
  std::string secondText;    // 1082
};

struct ImagePicture {
  std::string file;     // the picture file (the default picture when it is missing)
  bool found = true;    // false: `wanted` was missing
  std::string wanted;   // the file the definition names
  std::string caption;  // the button's text: the model name
  std::string label;    // the strip above the picture: "" or the slot number
  Wrapper* object = nullptr;
};

struct ImageModel {
  ImageTexts texts;
  std::vector<ImagePicture> pictures;
  bool adapterKnown = false;
  bool fault = false;  // the adapter is monitored and its communication failed
};

// Total length text to number: the leading decimal digits, 0 without.
long LeadingNumber(const std::string& text);
// The picture of a definition's graphic file in `imageDir`, found without
// regard to case; "-OFF" variant with `off`. Empty when there is none.
std::string FindPicture(const std::string& imageDir, const std::string& stem, bool off);
// The default picture of the Image folder.
std::string DefaultPicture(const std::string& imageDir);
// The image view of a selected adapter (with its modules in tree order) or
// module (`adapter` its adapter, may be null); `commState` the adapter's
// communication state.
ImageModel BuildImageModel(Wrapper& object, CNAUsr* adapter, const std::vector<CIOUsr*>& modules, int viewMode,
                           int commState, const std::string& imageDir);

// ---- comment ------------------------------------------------------------------------------

// The stored comment as the editor shows it: every pair of line feeds is
// one line break ("\r\n").
std::string CommentForEdit(const std::string& title);

// ---- files ----------------------------------------------------------------------------------

// `folder`/`name` when it exists, else the entry of the folder whose name
// equals `name` without regard to case; empty when there is none.
std::string FindFileNoCase(const std::string& folder, const std::string& name);

}  // namespace qmx::views
