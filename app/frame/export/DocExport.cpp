#include "app/frame/export/DocExport.h"

#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/SaveFailures.h"
#include "app/ui/image/DibImage.h"
#include "common/Utility.h"
#include "common/WholeFile.h"
#include "driver/include/tessivar.h"
#include "platform/os/os.h"
#include "platform/text/charset.h"
#include "platform/xml/xml.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

namespace fs = std::filesystem;

namespace qmx::docu {
namespace {

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>";

std::string E(const std::string& value) { return qmx::xml::EscapeAttribute(value); }

// One documentation file: opened at once (so a file in use is found before
// anything is written), filled line by line in UTF-8 and written in EUC-KR
// with CR LF line ends when closed.
class DocuFile {
public:
  bool Open(const fs::path& path) {
    path_ = path;
    out_.open(path, std::ios::binary | std::ios::trunc);
    return out_.is_open();
  }
  void Line(const std::string& line) {
    text_ += line;
    text_ += "\r\n";
  }
  bool Close() {
    if (!out_.is_open()) return false;
    const std::string bytes = qmx::text::Utf8ToEucKr(text_);
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out_.close();
    return !out_.fail();
  }
  // Closes and removes a file whose writing was abandoned.
  void Discard() {
    if (out_.is_open()) out_.close();
    std::error_code ec;
    fs::remove(path_, ec);
  }
  const fs::path& path() const { return path_; }

private:
  fs::path path_;
  std::ofstream out_;
  std::string text_;
};

// "<stem><insert>" in place of the ".xml" at the end of a file name.
std::string ReplaceXmlExtension(const std::string& name, const std::string& insert) {
  const std::string stem = name.size() >= 4 ? name.substr(0, name.size() - 4) : name;
  return stem + insert;
}

std::string ModuleLine(const CIOUsr& module, int slot) {
  return StrFormat("\t\t\t<Module name=\"%s\" model=\"%s\" type=\"%s\" slot=\"%d\" description=\"%s\"/>",
                   E(module.GetName()).c_str(), E(module.GetModelName()).c_str(), E(module.GetDefCategory()).c_str(),
                   slot, E(module.GetDescription()).c_str());
}

void WriteAdapterElement(DocuFile& file, const CNAUsr& adapter, const std::string& address,
                         const std::vector<CIOUsr*>& modules) {
  file.Line(StrFormat("\t\t<NetworkAdapter name=\"%s\" model=\"%s\" address=\"%s\" description=\"%s\">",
                      E(adapter.GetName()).c_str(), E(adapter.GetModelName()).c_str(), E(address).c_str(),
                      E(adapter.GetDescription()).c_str()));
  int slot = 1;
  for (const CIOUsr* module : modules) file.Line(ModuleLine(*module, slot++));
  file.Line("\t\t</NetworkAdapter>");
}

void WriteInquiryItems(DocuFile& file, const InquiryList& items) {
  for (const InquiryItem& item : items)
    file.Line(StrFormat("\t\t<Item Model=\"%s\" Part_Num=\"%s\" amount=\"%d\"/>", E(item.modelName).c_str(),
                        E(item.orderNumber).c_str(), item.count));
}

// The log line and the box of a file that cannot be opened.
void ReportOpenFailure(const char* func, const fs::path& path, bool fullStop) {
  const std::string text =
      StrFormat("%s. Cannot open the file. Check if using %s%s", func, path.string().c_str(), fullStop ? "." : "");
  PostLog(qmx::kLogError, qmx::kLogSource, text);
  qmx::ShowBox(text, qmx::kBoxIconStop);
}

std::string ParaName(const ParaItem& item) { return item.displayText.empty() ? item.textId : item.displayText; }

std::string ParaLine(const std::string& name, const std::string& value) {
  return StrFormat("\t\t\t<Para name=\"%s\" value=\"%s\" />", E(name).c_str(), E(value).c_str());
}

void WriteMapEntries(DocuFile& file, const ProjectWorkspace& workspace, CNAUsr& adapter, TreeItem adapterItem) {
  AddressMapInfo* map = adapter.GetAddresMap(0, 0);
  if (!map) return;
  for (int32_t r = 0; r < map->rowCount; ++r) {
    const AddressMapRow* row = map->rows ? map->rows[r] : nullptr;
    if (!row) continue;
    const std::string model = row->name ? row->name : "";
    const bool isAdapter = row->type && CompareNoCase(row->type, "NA") == 0;
    if (isAdapter) {
      file.Line(StrFormat("\t\t<NA_IO name=\"%s\" model=\"%s\">", E(adapter.GetName()).c_str(), E(model).c_str()));
    } else {
      const CIOUsr* module = workspace.GetIOUsrObjByPos(adapterItem, row->index);
      const std::string name = module ? module->GetName() : model;
      file.Line(StrFormat("\t\t<IO name=\"%s\" model=\"%s\">", E(name).c_str(), E(model).c_str()));
    }
    auto channels = [&](AddressMapChannel** list, int32_t count, bool input) {
      for (int32_t i = 0; i < count; ++i) {
        const AddressMapChannel* ch = list ? list[i] : nullptr;
        if (!ch) continue;
        const std::string word = StrFormat("0x%04X/%02X", static_cast<unsigned>(ch->wordAddress) & 0xFFFFu,
                                           static_cast<unsigned>(ch->bitInWord) & 0xFFu);
        const std::string bit = StrFormat("0x%04X", static_cast<unsigned>(ch->bitAddress) & 0xFFFFu);
        file.Line(StrFormat("\t\t\t<Channel type=\"%s\" channel_num=\"%d\" size=\"%d\" InputWordAddr=\"%s\" "
                            "InputBitAddr=\"%s\" OutputWordAddr=\"%s\" OutputBitAddr=\"%s\"/>",
                            E(ch->channelType ? ch->channelType : "").c_str(), i, static_cast<int>(ch->channelSize),
                            input ? word.c_str() : "", input ? bit.c_str() : "", input ? "" : word.c_str(),
                            input ? "" : bit.c_str()));
      }
    };
    channels(row->inputs, row->inputCount, true);
    channels(row->outputs, row->outputCount, false);
    file.Line(isAdapter ? "\t\t</NA_IO>" : "\t\t</IO>");
  }
  adapter.ClearGettedAddresMap(map);
}

void WriteParameters(DocuFile& file, const CNAUsr& adapter, const std::vector<CIOUsr*>& modules) {
  file.Line(StrFormat("\t\t<NA_PARA name=\"%s\" model=\"%s\">", E(adapter.GetName()).c_str(),
                      E(adapter.GetModelName()).c_str()));
  if (const NADef* def = adapter.GetNADef()) {
    auto items = [&](const std::vector<std::unique_ptr<ParaItem>>& list, const char* kind) {
      for (const auto& item : list) {
        if (!item || item->visible != 1) continue;
        std::string value;
        adapter.GetParaValForUsr(value, kind, *item, std::string());
        file.Line(ParaLine(ParaName(*item), value));
      }
    };
    items(def->blockItems[kMonInit], "MON_INIT");
    items(def->paraItems, "PARA");
  }
  file.Line("\t\t</NA_PARA>");
  for (const CIOUsr* module : modules) {
    file.Line(StrFormat("\t\t<IO name=\"%s\" model=\"%s\">", E(module->GetName()).c_str(),
                        E(module->GetModelName()).c_str()));
    if (const IODef* def = module->GetIODef()) {
      for (const auto& item : def->paraItems) {
        if (!item || item->visible != 1) continue;
        file.Line(ParaLine(ParaName(*item), module->GetParaValForUsr("PARA", *item, std::string())));
      }
    }
    file.Line("\t\t</IO>");
  }
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

LocalTime NowLocal() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&seconds, &tm);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                   static_cast<int>(ms)};
}

bool LoadBitmapFile(const fs::path& path, Picture& picture, std::string& error) {
  picture = Picture{};
  std::string data;
  const int read = ReadWholeFile(path.string(), kPictureFileLimit, data, &error);
  if (read == 0) {
    // The refusal names the file and its size.
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] %s.", qmx::err::kModuleImageLoad, error.c_str()));
  }
  if (read != 1) return false;
  return ReadBitmap(data, picture, error);
}

bool ReadBitmap(std::string_view data, Picture& picture, std::string& error) {
  picture = Picture{};
  const auto* b = reinterpret_cast<const uint8_t*>(data.data());
  if (data.size() < 54 || b[0] != 'B' || b[1] != 'M') {
    error = "not a Windows bitmap";
    return false;
  }
  const uint32_t offset = Le32(b + 10);
  const uint32_t headerSize = Le32(b + 14);
  if (headerSize < 40 || 14 + static_cast<uint64_t>(headerSize) > data.size()) {
    error = "unsupported bitmap header";
    return false;
  }
  const int32_t width = static_cast<int32_t>(Le32(b + 18));
  const int32_t rawHeight = static_cast<int32_t>(Le32(b + 22));
  const int bits = Le16(b + 28);
  const uint32_t compression = Le32(b + 30);
  uint32_t colours = Le32(b + 46);
  const bool topDown = rawHeight < 0;
  const int64_t height = topDown ? -static_cast<int64_t>(rawHeight) : rawHeight;
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) {
    error = "bad picture size";
    return false;
  }
  if (compression != 0 && !(compression == 3 && bits == 32)) {
    error = "compressed bitmaps are not read";
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
    error = StrFormat("%d bits per pixel are not read", bits);
    return false;
  }
  std::vector<uint32_t> table;
  if (bits <= 8) {
    if (colours == 0 || colours > (1u << bits)) colours = 1u << bits;
    const uint64_t tableAt = 14 + static_cast<uint64_t>(headerSize);
    if (tableAt + 4ull * colours > data.size()) {
      error = "the colour table is cut short";
      return false;
    }
    for (uint32_t i = 0; i < colours; ++i) {
      const uint8_t* q = b + tableAt + 4 * i;
      table.push_back((static_cast<uint32_t>(q[2]) << 16) | (static_cast<uint32_t>(q[1]) << 8) | q[0]);
    }
  }
  const uint64_t rowSize = ((static_cast<uint64_t>(width) * static_cast<uint64_t>(bits) + 31) / 32) * 4;
  if (offset + rowSize * static_cast<uint64_t>(height) > data.size()) {
    error = "the pixels are cut short";
    return false;
  }
  picture.width = width;
  picture.height = static_cast<int>(height);
  picture.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t* row = b + offset + rowSize * static_cast<uint64_t>(topDown ? y : height - 1 - y);
    uint32_t* dst = picture.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int32_t x = 0; x < width; ++x) {
      uint32_t pixel = 0;
      if (bits == 24 || bits == 32) {
        const uint8_t* p = row + static_cast<size_t>(x) * static_cast<size_t>(bits / 8);
        pixel = (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
      } else {
        const size_t bitPos = static_cast<size_t>(x) * static_cast<size_t>(bits);
        const unsigned index = (row[bitPos / 8] >> (8 - bits - bitPos % 8)) & ((1u << bits) - 1);
        pixel = index < table.size() ? table[index] : 0;
      }
      dst[x] = pixel;
    }
  }
  return true;
}

std::vector<std::vector<size_t>> LayOutPictureRows(const std::vector<Picture>& pictures, int widthLimit) {
  std::vector<std::vector<size_t>> rows;
  int rowWidth = 0;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const int width = pictures[i].width;
    if (rows.empty() || (!rows.back().empty() && rowWidth + width > widthLimit)) {
      rows.emplace_back();
      rowWidth = 0;
    }
    rows.back().push_back(i);
    rowWidth += width;
  }
  return rows;
}

Picture ComposePictureRow(const std::vector<const Picture*>& row) {
  int width = 0;
  int tallest = 0;
  for (const Picture* p : row) {
    width += p->width;
    tallest = std::max(tallest, p->height);
  }
  Picture out;
  out.width = width + 20;
  out.height = tallest + 20;
  out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), 0xFFFFFFu);
  int x0 = 10;
  for (const Picture* p : row) {
    for (int y = 0; y < p->height; ++y) {
      std::copy_n(p->pixels.begin() + static_cast<ptrdiff_t>(y) * p->width, p->width,
                  out.pixels.begin() + static_cast<ptrdiff_t>(y + 10) * out.width + x0);
    }
    x0 += p->width;
  }
  return out;
}

std::string MainFileName(const std::string& prefix, const LocalTime& t) {
  const std::string timeText = StrFormat("%02d%02d%02d_%03d", t.hour, t.minute, t.second, t.millisecond);
  return StrFormat("%s%04d%02d%02d %s.xml", prefix.c_str(), t.year, t.month, t.day, timeText.c_str());
}

std::string DateText(const LocalTime& t, const std::string& language) {
  if (CompareNoCase(language, "Eng") == 0) return StrFormat("%02d/%02d/%04d", t.month, t.day, t.year);
  return StrFormat("%04d/%02d/%02d", t.year, t.month, t.day);
}

DocExporter::DocExporter(const ProjectWorkspace& workspace, const TextIdMap& textIds)
    : workspace_(workspace), textIds_(textIds) {}

std::string DocExporter::ProjectLine(const CProjectUsr& project, const LocalTime& time) const {
  std::string description;
  std::string busType = GetTextIdValue(textIds_, project.commType, description);
  // A bus type the text list does not name is shown by its own name rather
  // than as an empty field on the report's cover.
  if (busType.empty()) busType = project.commType;
  return StrFormat("<PROJECT name=\"%s\" Date=\"%s\" BusType=\"%s\" path=\"%s\" >", E(project.GetName()).c_str(),
                   E(DateText(time, language)).c_str(), E(busType).c_str(), E(imageDir).c_str());
}

int DocExporter::SavePrjToXmlForDocu(const std::string& folder, std::string& mainFile) {
  static const char* kFunc = "SavePrjToXmlForDocu";
  TreeItem projectItem = kNoTreeItem;
  CProjectUsr* project = workspace_.GetSelectedProject(&projectItem, kFunc, 0);
  if (!project) return 2;
  const LocalTime time = clock();
  mainFile = MainFileName("prj", time);
  const std::string line = ProjectLine(*project, time);
  const std::vector<CNAUsr*>& adapters = project->Adapters();
  if (adapters.size() > kMaxDocuNodes) {
    qmx::ReportError(qmx::err::kDocumentationFailed,
                     StrFormat("The project has %zu network adapters; a report takes at most %zu.", adapters.size(),
                               kMaxDocuNodes),
                     kFunc);
    return 0;
  }

  DocuFile main;
  if (!main.Open(fs::path(folder) / mainFile)) {
    ReportOpenFailure(kFunc, main.path(), true);
    return 0;
  }
  main.Line(kDeclaration);
  main.Line(line);
  main.Line("\t<PROJECT_VIEW>");
  // Element content: escaped like every value.
  main.Line(StrFormat("\t\t<Project_Name>%s</Project_Name>", E(project->GetName()).c_str()));
  main.Line(StrFormat("\t\t<Node_Cnt>%d</Node_Cnt>", static_cast<int>(adapters.size())));
  std::vector<std::string> nodeLines;
  int nodeNumber = 0;
  for (CNAUsr* adapter : adapters) {
    const TreeItem adapterItem = workspace_.tree().FindItem(adapter);
    std::vector<CIOUsr*> modules;
    if (adapterItem != kNoTreeItem) workspace_.CollectIOUsrs(adapterItem, modules, 1);
    WriteAdapterElement(main, *adapter, adapter->GetCommDescShort(), modules);
    const std::string node = SaveNodeToXmlForDocuEx(line, *adapter, ++nodeNumber, modules, mainFile, folder);
    if (node.empty()) {
      // An adapter without its files would leave the report a station it
      // cannot read: the documentation fails as a whole.
      main.Discard();
      qmx::ReportError(qmx::err::kDocumentationFailed,
                       StrFormat("Cannot write the files of network adapter %s.", adapter->GetName().c_str()), kFunc);
      return 0;
    }
    nodeLines.push_back(node);
  }
  main.Line("\t</PROJECT_VIEW>");
  const std::string inquiryName = ReplaceXmlExtension(mainFile, "PrjInquiry.xml");
  main.Line(StrFormat("\t<NODE_SUB path=\"%s\" prj_inquiry=\"%s\">", E(folder).c_str(), E(inquiryName).c_str()));
  for (const std::string& node : nodeLines) main.Line(node);
  main.Line("\t</NODE_SUB>");
  main.Line("</PROJECT>");
  if (!main.Close()) {
    ReportOpenFailure(kFunc, main.path(), true);
    return 0;
  }

  DocuFile inquiry;
  if (!inquiry.Open(fs::path(folder) / inquiryName)) {
    ReportOpenFailure(kFunc, inquiry.path(), false);
    return 0;
  }
  InquiryList items;
  const int listed = GetInquiryList(workspace_, "PROJECT", items, 0, projectItem);
  inquiry.Line(kDeclaration);
  inquiry.Line(line);
  inquiry.Line("\t<INQUIRY_VIEW>");
  WriteInquiryItems(inquiry, items);
  inquiry.Line("\t</INQUIRY_VIEW>");
  inquiry.Line("</PROJECT>");
  if (!inquiry.Close()) {
    ReportOpenFailure(kFunc, inquiry.path(), false);
    return 0;
  }
  return listed;
}

int DocExporter::SaveSelNaToXmlForDocu(const std::string& folder, std::string& mainFile) {
  static const char* kFunc = "SaveSelNaToXmlForDocu";
  CNAUsr* adapter = nullptr;
  std::string text;
  const TreeItem adapterItem = workspace_.GetSelNAUsr(adapter, text, kFunc, 0);
  CProjectUsr* project = workspace_.GetSelectedProject(nullptr, kFunc, 0);
  if (!adapter || !project) return 2;
  const LocalTime time = clock();
  mainFile = MainFileName("na", time);
  const std::string line = ProjectLine(*project, time);

  DocuFile main;
  if (!main.Open(fs::path(folder) / mainFile)) {
    qmx::ReportOpenForSaveFailure(main.path().string());
    return 0;
  }
  std::vector<CIOUsr*> modules;
  workspace_.CollectIOUsrs(adapterItem, modules, 1);
  const std::string node = SaveNodeToXmlForDocuEx(line, *adapter, 1, modules, mainFile, folder);
  if (node.empty()) {
    main.Discard();
    qmx::ReportError(qmx::err::kDocumentationFailed,
                     StrFormat("Cannot write the files of network adapter %s.", adapter->GetName().c_str()), kFunc);
    return 0;
  }
  main.Line(kDeclaration);
  main.Line(line);
  main.Line("\t<PROJECT_VIEW>");
  main.Line(StrFormat("\t\t<Project_Name>%s</Project_Name>", E(project->GetName()).c_str()));
  main.Line("\t\t<Node_Cnt>1</Node_Cnt>");
  main.Line("\t</PROJECT_VIEW>");
  main.Line(StrFormat("\t<NODE_SUB path=\"%s\" prj_inquiry=\"\">", E(folder).c_str()));
  main.Line(node);
  main.Line("\t</NODE_SUB>");
  main.Line("</PROJECT>");
  if (!main.Close()) {
    ReportOpenFailure(kFunc, main.path(), true);
    return 0;
  }
  return 1;
}

std::string DocExporter::SaveNodeToXmlForDocuEx(const std::string& projectLine, CNAUsr& adapter, int nodeNumber,
                                                const std::vector<CIOUsr*>& modules, const std::string& mainFile,
                                                const std::string& folder) {
  static const char* kFunc = "SaveNodeToXmlForDocuEx";
  const char* kinds[4] = {"node", "map", "param", "inquiry"};
  std::string names[4];
  DocuFile files[4];
  for (int i = 0; i < 4; ++i) {
    names[i] = ReplaceXmlExtension(mainFile, StrFormat("%s%d.xml", kinds[i], nodeNumber));
    if (!files[i].Open(fs::path(folder) / names[i])) {
      ReportOpenFailure(kFunc, files[i].path(), false);
      for (int j = 0; j <= i; ++j) files[j].Discard();
      return {};
    }
    files[i].Line(kDeclaration);
    files[i].Line(projectLine);
  }
  const TreeItem adapterItem = workspace_.tree().FindItem(&adapter);

  // Node file.
  DocuFile& node = files[0];
  node.Line("\t<NODE_VIEW>");
  std::string inputMode, outputMode;
  adapter.GetInputImgMode(inputMode);
  adapter.GetOutputImgMode(outputMode);
  const std::pair<const char*, std::string> info[] = {{"Node Name", adapter.GetName()},
                                                      {"Description", adapter.GetInfoText()},
                                                      {"Communication", adapter.GetCommDescForDocu()},
                                                      {"Input mode", inputMode},
                                                      {"Output mode", outputMode}};
  for (const auto& [name, value] : info)
    node.Line(StrFormat("\t\t<Node name=\"%s\" value=\"%s\" />", name, E(value).c_str()));
  WriteAdapterElement(node, adapter, std::string(), modules);
  node.Line("\t</NODE_VIEW>");
  int rows = 0;
  std::vector<std::string> pictures;
  SaveNAIOsToBmp(folder, (fs::path(folder) / ReplaceXmlExtension(names[0], "_00.bmp")).string(), kPictureRowWidth,
                 rows, adapterItem, &pictures);
  node.Line("\t<IMAGE_VIEW>");
  for (size_t i = 0; i < pictures.size(); ++i)
    node.Line(StrFormat("\t\t<File number=\"%d\" name=\"%s\" />", static_cast<int>(i + 1), E(pictures[i]).c_str()));
  std::string length, width, height;
  GetTotalSizeOfNAIOs(length, width, height, adapterItem);
  node.Line(StrFormat("\t\t<Dimension Height=\"%s\" Width=\"%s\" Length=\"%s\"/>", E(height).c_str(),
                      E(width).c_str(), E(length).c_str()));
  node.Line("\t</IMAGE_VIEW>");

  // Map file.
  files[1].Line("\t<MAP_VIEW>");
  WriteMapEntries(files[1], workspace_, adapter, adapterItem);
  files[1].Line("\t</MAP_VIEW>");

  // Parameter file.
  files[2].Line("\t<PARAMETER_VIEW>");
  WriteParameters(files[2], adapter, modules);
  files[2].Line("\t</PARAMETER_VIEW>");

  // Parts-list file.
  files[3].Line("\t<INQUIRY_VIEW>");
  InquiryList items;
  GetInquiryList(workspace_, "NA", items, 0, adapterItem);
  WriteInquiryItems(files[3], items);
  files[3].Line("\t</INQUIRY_VIEW>");

  bool written = true;
  for (DocuFile& file : files) {
    file.Line("</PROJECT>");
    if (!file.Close()) {
      ReportOpenFailure(kFunc, file.path(), false);
      written = false;
    }
  }
  if (!written) return {};
  return StrFormat("\t\t<Node node_file=\"%s\" map_file=\"%s\" param_file=\"%s\" inquiry_file=\"%s\"/>",
                   E(names[0]).c_str(), E(names[1]).c_str(), E(names[2]).c_str(), E(names[3]).c_str());
}

int DocExporter::SaveNAIOsToBmp(const std::string& folder, const std::string& pattern, int widthLimit, int& rows,
                                TreeItem adapterItem, std::vector<std::string>* names) {
  (void)folder;  // the pattern carries the folder
  rows = 0;
  CNAUsr* adapter = nullptr;
  std::string text;
  const TreeItem naItem = workspace_.GetSelNAUsr(adapter, text, {}, 0, adapterItem);
  if (!adapter || adapterItem == kNoTreeItem) return 0;
  std::vector<const Wrapper*> objects{adapter};
  std::vector<CIOUsr*> modules;
  workspace_.CollectIOUsrs(naItem, modules, 1);
  objects.insert(objects.end(), modules.begin(), modules.end());

  std::vector<Picture> pictures;
  for (const Wrapper* object : objects) {
    const std::string graphic = object->GetGraphicFile();
    if (graphic.empty()) continue;
    const std::string file = graphic + ".bmp";
    fs::path path = fs::path(imageDir) / file;
    if (auto found = qmx::os::ResolvePathNoCase(imageDir, file)) path = *found;
    Picture picture;
    std::string error;
    if (!loadPicture(path, picture, error) || picture.width <= 0 || picture.height <= 0) {
      PostLog(qmx::kLogError, qmx::kLogSource,
              StrFormat("[Error Code: %d] Cannot load module's graph image. %s", qmx::err::kModuleImageLoad,
                        path.string().c_str()));
      continue;
    }
    pictures.push_back(std::move(picture));
  }

  const std::string suffix = "_00.bmp";
  const std::string stem =
      pattern.size() >= suffix.size() ? pattern.substr(0, pattern.size() - suffix.size()) : pattern;
  for (const std::vector<size_t>& row : LayOutPictureRows(pictures, widthLimit)) {
    std::vector<const Picture*> members;
    for (size_t i : row) members.push_back(&pictures[i]);
    const Picture composed = ComposePictureRow(members);
    DibImage dib;
    if (!dib.CreateRgb(composed.width, composed.height, 0x00FFFFFFu)) continue;
    uint8_t* const* lines = dib.GetRows24();
    if (!lines) continue;
    for (int y = 0; y < composed.height; ++y) {
      uint8_t* out = lines[y];
      for (int x = 0; x < composed.width; ++x) {
        const uint32_t p = composed.pixels[static_cast<size_t>(y) * static_cast<size_t>(composed.width) +
                                           static_cast<size_t>(x)];
        out[3 * x] = static_cast<uint8_t>(p);            // blue
        out[3 * x + 1] = static_cast<uint8_t>(p >> 8);   // green
        out[3 * x + 2] = static_cast<uint8_t>(p >> 16);  // red
      }
    }
    const fs::path file = stem + StrFormat("_%02d.bmp", rows + 1);
    if (!dib.SaveToFile(file)) continue;  // the writer reported it
    ++rows;
    if (names) names->push_back(file.filename().string());
  }
  return 1;
}

int DocExporter::GetTotalSizeOfNAIOs(std::string& length, std::string& width, std::string& height,
                                     TreeItem adapterItem) {
  CNAUsr* adapter = nullptr;
  std::string text;
  const TreeItem naItem = workspace_.GetSelNAUsr(adapter, text, {}, 0, adapterItem);
  if (!adapter || adapterItem == kNoTreeItem) return 0;
  long total = 0;
  if (const NADef* def = adapter->GetNADef()) {
    height = def->dimensionHeight;
    width = def->dimensionWidth;
    total += std::strtol(def->dimension.value.c_str(), nullptr, 10);
  }
  std::vector<CIOUsr*> modules;
  workspace_.CollectIOUsrs(naItem, modules, 1);
  for (const CIOUsr* module : modules)
    if (const IODef* def = module->GetIODef()) total += std::strtol(def->dimension.value.c_str(), nullptr, 10);
  length = StrFormat("%ld", total);
  return 1;
}

}  // namespace qmx::docu
