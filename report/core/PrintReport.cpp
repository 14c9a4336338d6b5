// The print and PDF report tree.
#include "common/Utility.h"
#include "report/core/ReportBuilders.h"

namespace qmx::rendaval {

using namespace qmx::report;

std::string CoverTitle(const std::string& kind) {
  if (kind == "NA") return "QMX410 Network Adapter Report";
  // The designed caption stays for a kind other than the two known ones.
  return "QMX410 Project Report";
}

std::string ReportTitle(const std::string& kind) {
  if (kind == "PROJECT") return "Project Report";
  if (kind == "NA") return "Network Adapter Report";
  return {};
}

std::string ChapterPrefix(const std::string& kind) { return kind == "PROJECT" ? "2." : "1."; }

namespace {

class PrintBuilder {
public:
  explicit PrintBuilder(const DocuSet& docu) : docu_(docu), title_(ReportTitle(docu.kind)) {}

  Document Build() {
    doc_.name = "QMX410 documentation";
    doc_.headerText = title_.empty() ? docu_.projectName : title_ + " - " + docu_.projectName;
    Cover();
    if (docu_.IsProject()) ProjectOverview();
    for (size_t i = 0; i < docu_.nodes.size(); ++i) Node(docu_.nodes[i], i + 1);
    if (docu_.IsProject()) ProjectInquiry();
    return std::move(doc_);
  }

private:
  void Cover() {
    CoverBlock cover;
    cover.title = CoverTitle(docu_.kind);
    cover.fields = {{"Project Name", docu_.projectName}, {"Date", docu_.date}, {"Bus Type", docu_.busType}};
    cover.tocPath = {title_};
    doc_.blocks.push_back(cover);
  }

  void Chapter(const std::string& text) {
    chapter_ = text;
    doc_.blocks.push_back(HeadingBlock{1, text, {title_, text}});
  }
  void SubChapter(const std::string& text) { doc_.blocks.push_back(HeadingBlock{2, text, {title_, chapter_, text}}); }

  std::string AdapterPicture(const std::string& model) const {
    return (docu_.imagePath / (!model.empty() && model[0] == 'R' ? "RNA.bmp" : "NA.bmp")).string();
  }

  // Adapter rows and their module rows; the first module of each adapter is grey.
  TableBlock AdapterTable(const std::vector<DocuAdapter>& adapters) const {
    TableBlock table;
    table.columns = {{"", "", 0.9}, {"Slot", "", 0.5}, {"Name", "", 1.6}, {"Model", "", 1.2}, {"Description", "", 2.6}};
    for (const DocuAdapter& na : adapters) {
      table.rows.push_back(
          {{{"", AdapterPicture(na.model)}, {"", ""}, {na.name, ""}, {na.model, ""}, {na.description, ""}}, kWhite, false});
      int moduleRows = 0;
      for (const DocuModule& io : na.modules) {
        const Rgb colour = (moduleRows % 2) ? kWhite : kLightGrey;
        ++moduleRows;
        table.rows.push_back({{{"", (docu_.imagePath / (io.type + ".bmp")).string()},
                               {io.slot, ""},
                               {io.name, ""},
                               {io.model, ""},
                               {io.description, ""}},
                              colour,
                              false});
      }
    }
    return table;
  }

  // Alternating rows: the first white, the second light yellow.
  static Rgb Striped(int& counter) {
    const Rgb colour = (counter % 2) ? kLightYellow : kWhite;
    ++counter;
    return colour;
  }

  void ProjectOverview() {
    Chapter("1. Project Overview");
    doc_.blocks.push_back(AdapterTable(docu_.overview));
  }

  void Node(const DocuNode& node, size_t number) {
    const std::string prefix = ChapterPrefix(docu_.kind) + std::to_string(number);
    Chapter(prefix + ". " + "Node Overview");
    doc_.blocks.push_back(AdapterTable(node.adapters));
    TableBlock info;
    info.columns = {{"Name", "", 1}, {"Value", "", 2}};
    for (const auto& [name, value] : node.info) info.rows.push_back({{{name, ""}, {value, ""}}, kWhite, false});
    if (!info.rows.empty()) doc_.blocks.push_back(info);

    SubChapter(prefix + ".1. " + "Image View");
    for (const auto& picture : node.pictures) doc_.blocks.push_back(PictureBlock{picture.string()});
    for (const DocuDimension& d : node.dimensions)
      doc_.blocks.push_back(
          TextBlock{"Dimension (Width x Height x Length) : " + d.width + " x " + d.height + " x " + d.length});

    SubChapter(prefix + ".2. " + "Address Map");
    TableBlock map;
    map.columns = {{"Name", "", 1},     {"Type", "", 1.4},       {"Bit Size", "", 0.8}, {"Word", "Input", 1.2},
                   {"Bit", "Input", 1}, {"Word", "Output", 1.2}, {"Bit", "Output", 1}};
    int channelRows = 0;
    for (const auto* entries : {&node.ioEntries, &node.adapterEntries}) {
      for (const DocuMapEntry& entry : *entries) {
        map.rows.push_back({{{entry.name, ""}}, kWhite, true});
        for (const DocuChannel& ch : entry.channels) {
          const Rgb colour = Striped(channelRows);
          map.rows.push_back({{{ch.number, ""},
                               {ch.type, ""},
                               {ch.size, ""},
                               {ch.inputWord, ""},
                               {ch.inputBit, ""},
                               {ch.outputWord, ""},
                               {ch.outputBit, ""}},
                              colour,
                              false});
        }
      }
    }
    doc_.blocks.push_back(map);

    SubChapter(prefix + ".3. " + "Parameters");
    TableBlock params;
    params.columns = {{"Name", "", 1.5}, {"Value", "", 1}};
    int paramRows = 0;
    for (const auto* objects : {&node.ioParams, &node.adapterParams}) {
      for (const DocuParamObject& object : *objects) {
        params.rows.push_back({{{object.name, ""}}, kWhite, true});
        for (const DocuParam& p : object.params) {
          const Rgb colour = Striped(paramRows);
          params.rows.push_back({{{p.name, ""}, {p.value, ""}}, colour, false});
        }
      }
    }
    doc_.blocks.push_back(params);

    SubChapter(prefix + ".4. " + "Inquiry");
    doc_.blocks.push_back(InquiryTable(node.inquiry));
    if (docu_.IsProject()) doc_.blocks.push_back(PageBreakBlock{});
  }

  static TableBlock InquiryTable(const std::vector<DocuItem>& items) {
    TableBlock table;
    table.columns = {{"No.", "", 0.5}, {"Model", "", 1.5}, {"Part Number", "", 1.5}, {"Quantity", "", 0.8}};
    int inquiryRows = 0;
    for (const DocuItem& item : items) {
      const Rgb colour = Striped(inquiryRows);
      table.rows.push_back(
          {{{std::to_string(inquiryRows), ""}, {item.model, ""}, {item.partNumber, ""}, {item.amount, ""}}, colour, false});
    }
    return table;
  }

  void ProjectInquiry() {
    Chapter("3. Project Inquiry");
    doc_.blocks.push_back(InquiryTable(docu_.prjInquiry));
  }

  const DocuSet& docu_;
  std::string title_;
  std::string chapter_;
  Document doc_;
};

}  // namespace

Document BuildPrintDocument(const DocuSet& docu) { return PrintBuilder(docu).Build(); }

}  // namespace qmx::rendaval
