// A synthetic documentation set of a plant's size in the documentation file
// format: N stations of M modules each, with the address map, parameters and
// parts lists of each station and its picture rows as 8-bit bitmaps laid out
// as the main program lays them out (rows of at most 580 pixels, 10 pixels of
// white around). A load for the test that cancels a long report and for the
// benchmarks, whose figures are measured on it; what the main program's
// export writes is read by the tests on the sets of docu_sets.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace qmx::rendaval::test {

struct BigModuleType {
  const char* model;
  const char* category;  // picture name in the Image folder
  int inputs, outputs;
  bool analog;
  const char* part;
};

inline const std::vector<BigModuleType>& BigModuleTypes() {
  static const std::vector<BigModuleType> types = {
      {"QMX-1816", "NDI", 16, 0, false, "P1816-01"}, {"QMX-2816", "NDO", 0, 16, false, "P2816-01"},
      {"QMX-1816", "NDI", 16, 0, false, "P1816-01"}, {"QMX-2816", "NDO", 0, 16, false, "P2816-01"},
      {"QMX-1808", "NDI", 8, 0, false, "P1808-01"},  {"QMX-2808", "NDO", 0, 8, false, "P2808-01"},
      {"QMX-3404", "NAI", 4, 0, true, "P3404-01"},   {"QMX-4404", "NAO", 0, 4, true, "P4404-01"},
  };
  return types;
}

namespace big_detail {

inline std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// The adapter's part number, or a module type's.
inline std::string PartOf(const std::string& model) {
  for (const BigModuleType& t : BigModuleTypes())
    if (model == t.model) return t.part;
  return "P4101-01";
}

inline void WriteLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
  std::ofstream out(file, std::ios::binary);
  for (const std::string& line : lines) out << line << "\r\n";
}

inline void Put16(std::string& b, unsigned v) {
  b += char(v & 0xFF);
  b += char((v >> 8) & 0xFF);
}
inline void Put32(std::string& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// An 8-bit bitmap of `widths` side by side (each a stripe of its own colour
// with a dark edge) on white, 10 pixels around, 200 pixels high.
inline void WriteRowBitmap(const std::filesystem::path& file, const std::vector<int>& widths, int seed) {
  int width = 20;
  for (int w : widths) width += w;
  const int height = 220;
  const int stride = (width + 3) & ~3;
  std::string pixels(size_t(stride) * height, char(0));  // palette 0 is white
  int x0 = 10;
  for (size_t i = 0; i < widths.size(); ++i) {
    const char colour = char(1 + (int(i) + seed) % 6);
    for (int y = 10; y < 210; ++y)
      for (int x = x0; x < x0 + widths[i]; ++x)
        pixels[size_t(y) * stride + x] = (x == x0 || y == 10 || y == 209 || (y - 10) % 25 == 0) ? char(7) : colour;
    x0 += widths[i];
  }
  std::string b = "BM";
  const uint32_t offset = 14 + 40 + 256 * 4;
  Put32(b, offset + uint32_t(pixels.size()));
  Put32(b, 0);
  Put32(b, offset);
  Put32(b, 40);
  Put32(b, uint32_t(width));
  Put32(b, uint32_t(height));
  Put16(b, 1);
  Put16(b, 8);
  Put32(b, 0);
  Put32(b, uint32_t(pixels.size()));
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, 256);
  Put32(b, 0);
  static const uint32_t palette[8] = {0xFFFFFF, 0x3C78C8, 0x50A050, 0xC8643C, 0xB4B428, 0x8C50B4, 0x5AB4B4, 0x282828};
  for (int i = 0; i < 256; ++i) Put32(b, i < 8 ? palette[i] : 0);
  b += pixels;
  std::ofstream(file, std::ios::binary) << b;
}

}  // namespace big_detail

// Writes the set into `folder` with pictures named from `imageDir` and
// returns the main file. Module m of every station is of type m modulo the
// eight types above.
inline std::filesystem::path WriteBigDocuSet(const std::filesystem::path& folder, int stations, int modules,
                                             const std::filesystem::path& imageDir) {
  using namespace big_detail;
  namespace fs = std::filesystem;
  fs::create_directories(folder);
  const std::string base = "prj20261209 080000_000";
  const std::string decl = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>";
  const std::string project = "<PROJECT name=\"Big Plant\" Date=\"2026/12/09\" BusType=\"Modbus TCP\" path=\"" +
                              imageDir.string() + "\" >";
  const auto& types = BigModuleTypes();
  std::vector<std::string> main = {decl, project, "\t<PROJECT_VIEW>", "\t\t<Project_Name>Big Plant</Project_Name>",
                                   "\t\t<Node_Cnt>" + std::to_string(stations) + "</Node_Cnt>"};
  std::vector<std::string> nodeLines;
  std::map<std::string, int> projectParts;
  for (int s = 1; s <= stations; ++s) {
    const std::string station = "Station " + std::to_string(s);
    const std::string adapterLine = "\t\t<NetworkAdapter name=\"" + station +
                                    "\" model=\"QMX-4101\" address=\"%ADDRESS%\" description=\"Modbus TCP network "
                                    "adapter\">";
    std::vector<std::string> moduleLines;
    for (int m = 0; m < modules; ++m) {
      const BigModuleType& t = types[size_t(m) % types.size()];
      moduleLines.push_back("\t\t\t<Module name=\"" + station + " module " + std::to_string(m + 1) + "\" model=\"" +
                            t.model + "\" type=\"" + t.category + "\" slot=\"" + std::to_string(m + 1) +
                            "\" description=\"" + std::to_string(t.inputs + t.outputs) + " channels\"/>");
    }
    const auto adapter = [&](const std::string& address) {
      std::vector<std::string> lines = {adapterLine};
      lines[0].replace(lines[0].find("%ADDRESS%"), 9, address);
      lines.insert(lines.end(), moduleLines.begin(), moduleLines.end());
      lines.push_back("\t\t</NetworkAdapter>");
      return lines;
    };
    const auto ip = "192.168." + std::to_string(s / 250) + "." + std::to_string(s % 250 + 1);
    for (const std::string& line : adapter(ip)) main.push_back(line);

    const std::string n = std::to_string(s);
    const std::string nodeFile = base + "node" + n + ".xml", mapFile = base + "map" + n + ".xml",
                      paramFile = base + "param" + n + ".xml", inquiryFile = base + "inquiry" + n + ".xml";
    // Picture rows: the adapter then the modules, a new row past 580 pixels.
    std::vector<std::vector<int>> rows(1);
    int rowWidth = 0;
    for (int w : [&] {
           std::vector<int> all = {64};
           all.insert(all.end(), size_t(modules), 32);
           return all;
         }()) {
      if (rowWidth + w > 580 && !rows.back().empty()) {
        rows.emplace_back();
        rowWidth = 0;
      }
      rows.back().push_back(w);
      rowWidth += w;
    }
    std::vector<std::string> node = {decl, project, "\t<NODE_VIEW>"};
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"Node Name", station},
             {"Description", "QMX-410 Modbus TCP adapter"},
             {"Communication", "Modbus TCP " + ip + ":502"},
             {"Input mode", "Input mode 0"},
             {"Output mode", "Output mode 0"}})
      node.push_back("\t\t<Node name=\"" + name + "\" value=\"" + value + "\" />");
    for (const std::string& line : adapter("")) node.push_back(line);
    node.push_back("\t</NODE_VIEW>");
    node.push_back("\t<IMAGE_VIEW>");
    for (size_t r = 0; r < rows.size(); ++r) {
      const std::string picture = base + "node" + n + "_" + (r < 9 ? "0" : "") + std::to_string(r + 1) + ".bmp";
      WriteRowBitmap(folder / picture, rows[r], s);
      node.push_back("\t\t<File number=\"" + std::to_string(r + 1) + "\" name=\"" + picture + "\" />");
    }
    node.push_back("\t\t<Dimension Height=\"120\" Width=\"100\" Length=\"" + std::to_string(64 + 12 * modules) +
                   "\"/>");
    node.push_back("\t</IMAGE_VIEW>");
    node.push_back("</PROJECT>");
    WriteLines(folder / nodeFile, node);

    std::vector<std::string> map = {decl, project, "\t<MAP_VIEW>",
                                    "\t\t<NA_IO name=\"" + station + "\" model=\"QMX-4101\">",
                                    "\t\t\t<Channel type=\"Status\" channel_num=\"0\" size=\"16\" "
                                    "InputWordAddr=\"0x0000/00\" InputBitAddr=\"0x0000\" OutputWordAddr=\"\" "
                                    "OutputBitAddr=\"\"/>",
                                    "\t\t</NA_IO>"};
    std::vector<std::string> params = {decl, project, "\t<PARAMETER_VIEW>",
                                       "\t\t<NA_PARA name=\"" + station + "\" model=\"QMX-4101\">",
                                       "\t\t\t<Para name=\"Watchdog time\" value=\"100 ms\" />",
                                       "\t\t\t<Para name=\"Fail-safe action\" value=\"Hold last value\" />",
                                       "\t\t</NA_PARA>"};
    std::map<std::string, int> parts = {{"QMX-4101", 1}};
    unsigned inWord = 1, outWord = 0;
    for (int m = 0; m < modules; ++m) {
      const BigModuleType& t = types[size_t(m) % types.size()];
      ++parts[t.model];
      const std::string name = station + " module " + std::to_string(m + 1);
      map.push_back("\t\t<IO name=\"" + name + "\" model=\"" + t.model + "\">");
      for (int io = 0; io < 2; ++io) {
        const bool input = io == 0;
        const int count = input ? t.inputs : t.outputs;
        unsigned& word = input ? inWord : outWord;
        for (int c = 0; c < count; ++c) {
          const unsigned w = t.analog ? word + unsigned(c) : word + unsigned(c) / 16;
          const unsigned bit = t.analog ? 0 : unsigned(c) % 16;
          const std::string wordAddr = "0x" + Hex(w, 4) + "/" + Hex(bit, 2), bitAddr = "0x" + Hex(w * 16 + bit, 4);
          const std::string kind = t.analog ? (input ? "AI" : "AO") : (input ? "DI" : "DO");
          map.push_back("\t\t\t<Channel type=\"" + kind + "\" channel_num=\"" + std::to_string(c) + "\" size=\"" +
                        (t.analog ? "16" : "1") + "\" InputWordAddr=\"" + (input ? wordAddr : "") +
                        "\" InputBitAddr=\"" + (input ? bitAddr : "") + "\" OutputWordAddr=\"" +
                        (input ? "" : wordAddr) + "\" OutputBitAddr=\"" + (input ? "" : bitAddr) + "\"/>");
        }
        word += t.analog ? unsigned(count) : unsigned(count + 15) / 16;
      }
      map.push_back("\t\t</IO>");
      params.push_back("\t\t<IO name=\"" + name + "\" model=\"" + t.model + "\">");
      // Analog modules set each channel's range, digital ones a pair of
      // channels' filter or fail-safe value.
      const int channels = t.inputs + t.outputs;
      for (int c = 0; c < channels; c += t.analog ? 1 : 2) {
        const std::string name = t.analog ? "Ch" + std::to_string(c) + " range"
                                          : "Ch" + std::to_string(c) + "-" + std::to_string(c + 1) +
                                                (t.inputs ? " input filter" : " fail-safe value");
        const std::string value = t.analog ? (t.inputs ? "4-20 mA" : "0-10 V") : (t.inputs ? "3 ms" : "Off");
        params.push_back("\t\t\t<Para name=\"" + name + "\" value=\"" + value + "\" />");
      }
      params.push_back("\t\t</IO>");
    }
    map.insert(map.end(), {"\t</MAP_VIEW>", "</PROJECT>"});
    params.insert(params.end(), {"\t</PARAMETER_VIEW>", "</PROJECT>"});
    WriteLines(folder / mapFile, map);
    WriteLines(folder / paramFile, params);

    std::vector<std::string> inquiry = {decl, project, "\t<INQUIRY_VIEW>"};
    for (const auto& [model, count] : parts) {
      inquiry.push_back("\t\t<Item Model=\"" + model + "\" Part_Num=\"" + PartOf(model) + "\" amount=\"" +
                        std::to_string(count) + "\"/>");
      projectParts[model] += count;
    }
    inquiry.insert(inquiry.end(), {"\t</INQUIRY_VIEW>", "</PROJECT>"});
    WriteLines(folder / inquiryFile, inquiry);
    nodeLines.push_back("\t\t<Node node_file=\"" + nodeFile + "\" map_file=\"" + mapFile + "\" param_file=\"" +
                        paramFile + "\" inquiry_file=\"" + inquiryFile + "\"/>");
  }
  const std::string prjInquiry = base + "PrjInquiry.xml";
  main.push_back("\t</PROJECT_VIEW>");
  main.push_back("\t<NODE_SUB path=\"" + folder.string() + "\" prj_inquiry=\"" + prjInquiry + "\">");
  main.insert(main.end(), nodeLines.begin(), nodeLines.end());
  main.insert(main.end(), {"\t</NODE_SUB>", "</PROJECT>"});
  const fs::path mainFile = folder / (base + ".xml");
  WriteLines(mainFile, main);
  std::vector<std::string> inquiry = {decl, project, "\t<INQUIRY_VIEW>"};
  for (const auto& [model, count] : projectParts) {
    inquiry.push_back("\t\t<Item Model=\"" + model + "\" Part_Num=\"" + PartOf(model) + "\" amount=\"" +
                      std::to_string(count) + "\"/>");
  }
  inquiry.insert(inquiry.end(), {"\t</INQUIRY_VIEW>", "</PROJECT>"});
  WriteLines(folder / prjInquiry, inquiry);
  return mainFile;
}

}  // namespace qmx::rendaval::test
