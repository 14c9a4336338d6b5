// The whole catalogue load of the main program (settings, text-id list,
// error list, adapter list with every adapter description, module list with
// every module description) against libxml2 reading the same files into
// trees and freeing them, the floor of any reader of them. Both sides run
// interleaved (A B B A) on the shipped catalogue and on one 20 times larger.
//
// Run: bench-bin/bench_catalogue [rounds]   (the staged program folder must exist)
//      bench-bin/bench_catalogue --profile N [factor]  loads the catalogue (20x unless told) N times and nothing
//      else, for a profiler
#include "app/frame/export/XddExport.h"
#include "app/model/AppOptions.h"
#include "app/model/IOCatalogue.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/TextIdList.h"
#include "bench/support/catalogue_copy.h"
#include "bench/support/side_by_side.h"

#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class NullLog : public qmx::LogTarget {
public:
  void Post(qmx::LogRecord* record) override { delete record; }
};

// The description files an available item of a list names.
void AddDescriptions(const fs::path& list, const fs::path& folder, std::vector<std::string>& files) {
  xmlDocPtr doc = xmlReadFile(list.c_str(), nullptr, XML_PARSE_NONET);
  if (!doc) return;
  xmlXPathContextPtr ctx = xmlXPathNewContext(doc);
  xmlXPathObjectPtr items = xmlXPathEvalExpression(BAD_CAST "/*/Group/*[@Available='true']/@DefineFileName", ctx);
  if (items && items->nodesetval) {
    for (int i = 0; i < items->nodesetval->nodeNr; ++i) {
      xmlChar* name = xmlNodeGetContent(items->nodesetval->nodeTab[i]);
      const fs::path file = folder / reinterpret_cast<const char*>(name);
      xmlFree(name);
      if (fs::exists(file)) files.push_back(file.string());
    }
  }
  xmlXPathFreeObject(items);
  xmlXPathFreeContext(ctx);
  xmlFreeDoc(doc);
}

// Every file the catalogue load reads, in its order.
std::vector<std::string> CatalogueFiles(const fs::path& dir) {
  const fs::path products = dir / "Products";
  std::vector<std::string> files = {(dir / "QMX410Tools.xml").string(), (products / "listTextIdEng.xml").string(),
                                    (products / "listErrorEng.xml").string(), (products / "listNA.xml").string()};
  AddDescriptions(products / "listNA.xml", products / "NA", files);
  files.push_back((products / "listIO.xml").string());
  AddDescriptions(products / "listIO.xml", products / "IO", files);
  return files;
}

// What the main frame reads at start-up and keeps.
struct Catalogue {
  AppOptions options;
  ConfigExtras extras;
  TextIdMap textIds;
  ErrorMap errors;
  NACatalogue adapters;
  IOCatalogue modules;
};

void LoadCatalogue(const std::string& dir, Catalogue& c) {
  c.modules.fillXddObjectTable = &qmx::xdd::FillXddObjectTable;
  if (ParseConfigFile(dir + "/QMX410Tools.xml", c.options, c.extras) != 1 ||
      ParseTextIdFile(TextIdListPath(dir, c.options.Language), c.textIds) != 1 ||
      ParseErrorFile(ErrorListPath(dir, c.options.Language), c.errors) != 1 ||
      ParseNAFiles(NAListPath(dir), c.textIds, c.adapters) != 1 ||
      ParseIOFiles(IOListPath(dir), c.textIds, c.modules) != 1) {
    std::fprintf(stderr, "the catalogue in %s did not load\n", dir.c_str());
    std::exit(1);
  }
}

// The best of `passes` loads in milliseconds; the catalogue the program
// keeps is freed after the clock stops (the program frees it at its end).
double TimeLoad(const std::string& dir, int passes) {
  double best = 1e300;
  for (int i = 0; i < passes; ++i) {
    auto catalogue = std::make_unique<Catalogue>();
    const auto start = std::chrono::steady_clock::now();
    LoadCatalogue(dir, *catalogue);
    best = std::min(best, qmx::bench::MsSince(start));
  }
  return best;
}

void ParseAlone(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    xmlDocPtr doc = xmlReadFile(file.c_str(), nullptr, XML_PARSE_NONET);
    if (!doc) {
      std::fprintf(stderr, "libxml2 refused %s\n", file.c_str());
      std::exit(1);
    }
    xmlFreeDoc(doc);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool profile = argc > 2 && std::string(argv[1]) == "--profile";
  const int rounds = argc > 1 ? std::atoi(argv[profile ? 2 : 1]) : 9;
  NullLog log;
  qmx::SetLogTarget(&log);
  xmlInitParser();
  const fs::path work = fs::temp_directory_path() / ("qmx-bench-catalogue-" + std::to_string(::getpid()));
  if (profile) {
    qmx::bench::CopyProgramFolder(QMX_BENCH_DIST_DIR, work, argc > 3 ? std::atoi(argv[3]) : 20);
    for (int i = 0; i < rounds; ++i) {
      Catalogue catalogue;
      LoadCatalogue(work.string(), catalogue);
    }
    fs::remove_all(work);
    return 0;
  }
  const std::vector<qmx::bench::Metric> metrics = {{"catalogue load", "ms", 1.8}};
  bool met = true;
  for (const int factor : {1, 20}) {
    const fs::path dir = work / std::to_string(factor);
    qmx::bench::CopyProgramFolder(QMX_BENCH_DIST_DIR, dir, factor);
    const std::vector<std::string> files = CatalogueFiles(dir);
    // Several passes per run for the small catalogue, so a run is not a few microseconds of noise.
    const int passes = factor == 1 ? 20 : 3;
    Catalogue loaded;
    LoadCatalogue(dir.string(), loaded);
    std::printf("catalogue x%d: %zu files, %zu adapter and %zu module definitions\n", factor, files.size(),
                loaded.adapters.definitions.size(), loaded.modules.definitions().size());
    const auto s = qmx::bench::RunInterleaved(
        1, rounds, [&] { return std::vector<double>{qmx::bench::BestOf(passes, [&] { ParseAlone(files); })}; },
        [&] { return std::vector<double>{TimeLoad(dir.string(), passes)}; });
    met = qmx::bench::Report(factor == 1 ? "shipped" : "20x", metrics, s) && met;
  }
  std::error_code ec;
  fs::remove_all(work, ec);
  qmx::SetLogTarget(nullptr);
  return met ? 0 : 2;
}
