// The documentation export: the XML files and station pictures that describe
// a project or one adapter, written into the program's temporary folder for
// the report program, which reads them when the user asks for a report.
//
// Files (all text, CR LF lines, EUC-KR, values escaped):
//   main file        "prj<yyyymmdd> <hhmmss_mmm>.xml" or "na<...>.xml"
//   project parts    <main stem>"PrjInquiry.xml" (project documentation only)
//   per adapter      <main stem>"node<n>.xml", "map<n>.xml", "param<n>.xml",
//                    "inquiry<n>.xml", with the node number n from 1
//   pictures         <node stem>"_01.bmp", "_02.bmp", ... one per picture row
//
// Toolkit-free: the project tree comes through the workspace, boxes and log
// lines through the model's reporting functions, the clock and the picture
// loader are replaceable.
#pragma once

#include "app/frame/export/InquiryList.h"
#include "app/model/ProjectTree.h"
#include "app/model/TextIdList.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CIOUsr;
class CNAUsr;
class CProjectUsr;
class ProjectWorkspace;

namespace qmx::docu {

// The local date and time the file names and the Date attribute are made of.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalTime NowLocal();

// A picture as 0x00RRGGBB pixels, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// The largest picture file read (a module's picture is a few kB; this holds
// a 24-bit picture of 3000 by 3000 pixels): a larger one is refused, with a
// line naming it and its size.
inline constexpr std::uint64_t kPictureFileLimit = 32ull * 1024 * 1024;

// Reads an uncompressed Windows bitmap (1, 4, 8, 24 or 32 bits per pixel,
// bottom-up or top-down). False with the reason when the file is missing,
// too large, cut short, compressed or otherwise not such a bitmap.
bool LoadBitmapFile(const std::filesystem::path& path, Picture& picture, std::string& error);
// The same over the bytes of such a file.
bool ReadBitmap(std::string_view data, Picture& picture, std::string& error);

// Lays pictures out in rows of at most `widthLimit` pixels (a picture wider
// than the limit gets a row of its own) and returns, per row, the indexes of
// its pictures in order.
std::vector<std::vector<size_t>> LayOutPictureRows(const std::vector<Picture>& pictures, int widthLimit);

// One row bitmap: (sum of widths + 20) x (tallest picture + 20), white, the
// pictures unscaled side by side from (10, 10).
Picture ComposePictureRow(const std::vector<const Picture*>& row);

// The main file name of a run: "prj" or "na", the date and the time text.
std::string MainFileName(const std::string& prefix, const LocalTime& time);
// The Date attribute: month/day/year for the language "Eng" (any case),
// year/month/day otherwise.
std::string DateText(const LocalTime& time, const std::string& language);

// The report program reads at most this many stations.
inline constexpr size_t kMaxDocuNodes = 256;
// Picture rows are no wider than this (pixels, without the margins).
inline constexpr int kPictureRowWidth = 580;

class DocExporter {
public:
  DocExporter(const ProjectWorkspace& workspace, const TextIdMap& textIds);

  // The configured language (the options' Language).
  std::string language;
  // The program's Image folder: the module pictures, and the report
  // program's adapter and module-type pictures (PROJECT/@path).
  std::string imageDir;
  // Seams: the clock and the picture loader.
  std::function<LocalTime()> clock = &NowLocal;
  std::function<bool(const std::filesystem::path&, Picture&, std::string&)> loadPicture = &LoadBitmapFile;

  // The selected project's documentation into `folder`. 1 written (the main
  // file's name in `mainFile`); 0 a file could not be written, an adapter's
  // files failed or the project has more adapters than the report takes;
  // 2 no project selected.
  int SavePrjToXmlForDocu(const std::string& folder, std::string& mainFile);
  // The selected adapter's documentation. 1 written; 0 a file could not be
  // written; 2 no adapter or project selected.
  int SaveSelNaToXmlForDocu(const std::string& folder, std::string& mainFile);
  // The four files and the pictures of one adapter; the Node line naming the
  // four files, or an empty text when a file could not be written (reported).
  std::string SaveNodeToXmlForDocuEx(const std::string& projectLine, CNAUsr& adapter, int nodeNumber,
                                     const std::vector<CIOUsr*>& modules, const std::string& mainFile,
                                     const std::string& folder);
  // The picture rows of the adapter of `adapterItem` as "_01.bmp", ... next
  // to `pattern` (a path ending in "_00.bmp"); `names` gets the file names
  // written. 1, or 0 when the item is not under an adapter.
  int SaveNAIOsToBmp(const std::string& folder, const std::string& pattern, int widthLimit, int& rows,
                     TreeItem adapterItem, std::vector<std::string>* names = nullptr);
  // Height and Width of the adapter definition; Length the sum of the
  // adapter's and every module's length value. 1, or 0 without an adapter.
  int GetTotalSizeOfNAIOs(std::string& length, std::string& width, std::string& height, TreeItem adapterItem);

  // The PROJECT line of a project's files.
  std::string ProjectLine(const CProjectUsr& project, const LocalTime& time) const;

private:
  const ProjectWorkspace& workspace_;
  const TextIdMap& textIds_;
};

}  // namespace qmx::docu
