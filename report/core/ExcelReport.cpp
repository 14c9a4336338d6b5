// The Excel report tree (one sheet per page) and the reshaping of its workbook.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "common/Utility.h"
#include "report/core/ReportBuilders.h"

namespace qmx::rendaval {

using namespace qmx::report;

namespace {

// Lays rows out on pages of kExcelPageRows rows: a chapter page begins with
// its title, a page that continues a chapter with a spacer cell whose font is
// not a chapter's, and every page ends with the marker row.
class PageWriter {
public:
  Workbook Finish() {
    EndPage();
    wb_.columnWidths = {22, 22, 36, 14, 14, 14, 14};
    return std::move(wb_);
  }

  void Chapter(const std::string& title) {
    EndPage();
    StartPage();
    SheetCell& cell = Page().Set(1, 1);
    cell.text = title;
    cell.fontSize = kChapterFontSize;
    cell.bold = true;
    row_ = 2;
  }

  // `numbers` marks the columns (Col(1) | Col(3)) whose values are numbers.
  void Row(const std::vector<std::string>& texts, bool bold = false, double height = 0,
           const std::string& picture = {}, unsigned numbers = 0) {
    if (!open_ || row_ >= kExcelPageRows) {
      EndPage();
      StartPage();
      // A thin row: once the pages are gathered it only separates them.
      Page().Set(1, 1).fontSize = kContinuationFontSize;
      Page().rows[0].height = kContinuationRowHeight;
      row_ = 2;
    }
    Sheet& sheet = Page();
    for (size_t c = 0; c < texts.size(); ++c) {
      SheetCell& cell = sheet.Set(row_, c + 1);
      cell.text = texts[c];
      cell.bold = bold;
      cell.number = (numbers >> c) & 1;
    }
    if (!picture.empty()) sheet.Set(row_, 1).picture = picture;
    if (height > 0) sheet.rows[row_ - 1].height = height;
    ++row_;
  }

private:
  Sheet& Page() { return wb_.sheets.back(); }
  void StartPage() {
    Sheet sheet;
    sheet.name = "Sheet" + std::to_string(wb_.sheets.size() + 1);
    wb_.sheets.push_back(std::move(sheet));
    open_ = true;
  }
  void EndPage() {
    if (!open_) return;
    Page().Set(row_, 1).text = kPageEndMarker;
    open_ = false;
  }

  Workbook wb_;
  size_t row_ = 1;
  bool open_ = false;
};

constexpr unsigned Col(int column) { return 1u << (column - 1); }

std::string OrBlank(const std::string& text) { return text.empty() ? " " : text; }

class ExcelBuilder {
public:
  explicit ExcelBuilder(const DocuSet& docu) : docu_(docu) {}

  Workbook Build() {
    if (docu_.IsProject()) {
      out_.Chapter("1. Project Overview");
      Adapters(docu_.overview);
    }
    for (size_t i = 0; i < docu_.nodes.size(); ++i) Node(docu_.nodes[i], i + 1);
    if (docu_.IsProject()) {
      out_.Chapter("3. Project Inquiry");
      Inquiry(docu_.prjInquiry);
    }
    return out_.Finish();
  }

private:
  void Adapters(const std::vector<DocuAdapter>& adapters) {
    // The chapter's own column titles come first; a module's slot follows them.
    out_.Row({"Name", "Model", "Description", "Slot"}, true);
    for (const DocuAdapter& na : adapters) {
      out_.Row({na.name, na.model, na.description}, true);
      for (const DocuModule& io : na.modules) out_.Row({io.name, io.model, io.description, io.slot}, false, 0, {}, Col(4));
    }
  }

  void Inquiry(const std::vector<DocuItem>& items) {
    out_.Row({"No.", "Model", "Part Number", "Quantity"}, true);
    int number = 0;
    for (const DocuItem& item : items)
      out_.Row({std::to_string(++number), item.model, item.partNumber, item.amount}, false, 0, {}, Col(1) | Col(4));
  }

  void Node(const DocuNode& node, size_t number) {
    const std::string prefix = ChapterPrefix(docu_.kind) + std::to_string(number);
    out_.Chapter(prefix + ". Node Overview");
    Adapters(node.adapters);
    for (const auto& [name, value] : node.info) out_.Row({name, value});

    out_.Chapter(prefix + ".1. Image View");
    for (const auto& picture : node.pictures) out_.Row({}, false, PictureRowHeight(picture), picture.string());
    for (const DocuDimension& d : node.dimensions)
      out_.Row({"Dimension (Width x Height x Length) :", d.width, d.height, d.length}, false, 0, {},
               Col(2) | Col(3) | Col(4));

    out_.Chapter(prefix + ".2. Address Map");
    out_.Row({"Name", "Type", "Bit Size", "Input", "", "Output", ""}, true);
    out_.Row({"", "", "", "Word", "Bit", "Word", "Bit"}, true);
    for (const auto* entries : {&node.ioEntries, &node.adapterEntries}) {
      // Module channels write an empty address as one blank; the adapter's are written as they are.
      const auto address = [moduleEntry = entries == &node.ioEntries](const std::string& text) {
        return moduleEntry ? OrBlank(text) : text;
      };
      for (const DocuMapEntry& entry : *entries) {
        out_.Row({entry.name}, true);
        for (const DocuChannel& ch : entry.channels)
          out_.Row({ch.number, ch.type, ch.size, address(ch.inputWord), address(ch.inputBit), address(ch.outputWord),
                    address(ch.outputBit)},
                   false, 0, {}, Col(1) | Col(3));
      }
    }

    out_.Chapter(prefix + ".3. Parameters");
    out_.Row({"Name", "Value"}, true);
    for (const auto* objects : {&node.ioParams, &node.adapterParams}) {
      for (const DocuParamObject& object : *objects) {
        out_.Row({object.name}, true);
        for (const DocuParam& p : object.params) out_.Row({p.name, p.value});
      }
    }

    out_.Chapter(prefix + ".4. Inquiry");
    Inquiry(node.inquiry);
  }

  // Rows are as tall as their picture (pixels at 0.75 point), read from the
  // bitmap's header; a picture that cannot be read keeps the default height.
  static double PictureRowHeight(const std::filesystem::path& picture) {
    FILE* f = std::fopen(picture.c_str(), "rb");
    if (!f) return 0;
    unsigned char header[26] = {};
    const size_t got = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    if (got < sizeof header || header[0] != 'B' || header[1] != 'M') return 0;
    int32_t h = int32_t(uint32_t(header[22]) | uint32_t(header[23]) << 8 | uint32_t(header[24]) << 16 |
                        uint32_t(header[25]) << 24);
    if (h < 0) h = -h;
    return std::min(409.0, h * 0.75 + 4);
  }

  const DocuSet& docu_;
  PageWriter out_;
};

// The first row from 1 whose column 1 holds the end marker; 0 when none.
size_t MarkerRow(const Sheet& sheet) {
  for (size_t r = 1; r <= sheet.rows.size(); ++r)
    if (sheet.At(r, 1).text == kPageEndMarker) return r;
  return 0;
}

constexpr size_t kPastedColumns = 10;

}  // namespace

Workbook BuildExcelPages(const DocuSet& docu) { return ExcelBuilder(docu).Build(); }

void DropContinuationSpacers(Workbook& workbook) {
  const auto spacer = [](const SheetRow& row) {
    if (row.height != kContinuationRowHeight || row.cells.empty()) return false;
    const SheetCell& first = row.cells.front();
    if (first.fontSize != kContinuationFontSize || !first.text.empty() || !first.picture.empty()) return false;
    return std::all_of(row.cells.begin() + 1, row.cells.end(),
                       [](const SheetCell& c) { return c.text.empty() && c.picture.empty(); });
  };
  for (Sheet& sheet : workbook.sheets) std::erase_if(sheet.rows, spacer);
}

std::string CheckSheetName(const std::string& name, const std::vector<std::string>& taken) {
  if (name.empty()) return "a sheet name cannot be empty";
  if (Utf8Length(name) > 31) return "the sheet name \"" + name + "\" is longer than 31 characters";
  if (name.find_first_of("[]:*?/\\") != std::string::npos)
    return "the sheet name \"" + name + "\" holds one of [ ] : * ? / \\";
  if (name.front() == '\'' || name.back() == '\'') return "the sheet name \"" + name + "\" begins or ends with '";
  for (const std::string& other : taken)
    if (CompareNoCase(other, name) == 0) return "the sheet name \"" + name + "\" is used twice";
  return {};
}

ReshapeResult ReshapeWorkbook(const Workbook& input) {
  ReshapeResult result;
  result.workbook = input;
  std::vector<Sheet>& sheets = result.workbook.sheets;
  std::vector<std::string> absorbed;
  long target = -1;
  size_t endRow = 0;
  const size_t count = sheets.size();
  for (size_t i = 0; i < count; ++i) {
    Sheet& sheet = sheets[i];
    if (sheet.At(1, 1).fontSize < kChapterFontLimit) {
      const std::string name = sheet.At(1, 1).text;
      std::vector<std::string> others;
      for (size_t j = 0; j < sheets.size(); ++j)
        if (j != i) others.push_back(sheets[j].name);
      if (std::string why = CheckSheetName(name, others); !why.empty()) {
        result.workbook = input;
        result.ok = false;
        result.error = why;
        return result;
      }
      sheet.name = name;
      target = long(i);
      endRow = 0;
      continue;
    }
    if (target < 0) continue;  // pages before the first chapter stay as they are
    const size_t marker = MarkerRow(sheet);
    if (marker == 0) continue;  // a page without the marker is not part of a chapter
    Sheet& chapter = sheets[size_t(target)];
    if (endRow == 0) {
      // A chapter without its own marker takes the pages' rows below its last row.
      endRow = MarkerRow(chapter);
      if (endRow == 0) endRow = chapter.rows.size() + 1;
    }
    for (size_t r = 1; r < marker; ++r) {
      const size_t to = endRow + r - 1;
      for (size_t c = 1; c <= kPastedColumns; ++c) {
        const SheetCell& from = sheet.At(r, c);
        if (chapter.rows.size() < to && from.text.empty() && from.picture.empty() && from.fontSize == kDefaultFontSize &&
            !from.bold)
          continue;  // nothing to paste beyond the sheet's end
        chapter.Set(to, c) = from;
      }
      if (r <= sheet.rows.size() && sheet.rows[r - 1].height > 0) {
        chapter.Set(to, 1);
        chapter.rows[to - 1].height = sheet.rows[r - 1].height;
      }
    }
    absorbed.push_back(sheet.name);
    endRow += marker - 1;
  }
  for (const std::string& name : absorbed) {
    auto it = std::find_if(sheets.begin(), sheets.end(), [&](const Sheet& s) { return s.name == name; });
    if (it != sheets.end()) sheets.erase(it);
  }
  result.absorbed = absorbed.size();
  return result;
}

}  // namespace qmx::rendaval
