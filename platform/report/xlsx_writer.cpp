// Workbooks written as xlsx files with libxlsxwriter.
#include <QBuffer>
#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

#include <sys/mman.h>
#include <unistd.h>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

#include "platform/report/picture_file.h"
#include "platform/report/report_render.h"
#include "platform/report/staged_file.h"

namespace qmx::report {
namespace {

// A workbook that is not closed on purpose is dropped without being written.
struct WorkbookDropper {
  void operator()(lxw_workbook* wb) const {
    if (wb) lxw_workbook_free(wb);
  }
};

// libxlsxwriter packs the workbook into a file it opens by name, and a
// write of it that fails is only "Zip generic error ZIP_ERRNO" to its
// caller. So it packs into memory, a memfd that it opens by its /proc name,
// and the packed bytes are appended to the staged file here, where a failed
// write has the system's reason.
class PackedWorkbook {
public:
  PackedWorkbook() : fd_(::memfd_create("workbook.xlsx", MFD_CLOEXEC)) {
    if (fd_ < 0) error_ = errno;
  }
  ~PackedWorkbook() {
    if (fd_ >= 0) ::close(fd_);
  }
  PackedWorkbook(const PackedWorkbook&) = delete;
  PackedWorkbook& operator=(const PackedWorkbook&) = delete;

  bool ok() const { return fd_ >= 0; }
  int error() const { return error_; }
  std::string name() const { return "/proc/self/fd/" + std::to_string(fd_); }

  // Appends the packed bytes to `staged`: false when reading them or
  // writing them fails (the reason in `why`).
  bool CopyTo(StagedFile& staged, std::string* why) const {
    std::string chunk(size_t(1) << 20, '\0');
    for (off_t at = 0;;) {
      const ssize_t n = ::pread(fd_, chunk.data(), chunk.size(), at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *why = std::string("the packed workbook cannot be read: ") + std::strerror(errno);
        return false;
      }
      if (n == 0) return true;
      if (!staged.Write(std::string_view(chunk.data(), size_t(n)))) {
        *why = staged.error();
        return false;
      }
      at += n;
    }
  }

private:
  int fd_;
  int error_ = 0;
};

// Rows written between two looks at the cancel check.
constexpr size_t kRowsPerCancelCheck = 256;

class FormatCache {
public:
  explicit FormatCache(lxw_workbook* wb) : wb_(wb) {}
  lxw_format* Get(const SheetCell& cell) {
    const auto key = std::make_pair(cell.fontSize, cell.bold);
    auto it = formats_.find(key);
    if (it != formats_.end()) return it->second;
    lxw_format* format = workbook_add_format(wb_);
    format_set_font_name(format, "Arial");
    format_set_font_size(format, cell.fontSize);
    if (cell.bold) format_set_bold(format);
    format_set_text_wrap(format);
    format_set_align(format, LXW_ALIGN_VERTICAL_TOP);
    formats_.emplace(key, format);
    return format;
  }

private:
  lxw_workbook* wb_;
  std::map<std::pair<double, bool>, lxw_format*> formats_;
};

// The whole text as a decimal number ("15", "-3", "2.5"); anything else,
// such as "0x0004" or "16 ms", stays text.
bool ReadNumber(const std::string& text, double* value) {
  if (text.empty() || text.size() > 15) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  bool digits = false, point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      digits = true;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  *value = std::strtod(text.c_str(), nullptr);
  return true;
}

// Each distinct picture decoded and encoded once, however many cells show
// it and however many files hold it (the stations of a plant are often alike,
// and so are their pictures); the bytes live until the workbook is closed.
class PictureCache {
public:
  // PNG bytes; empty when the file is missing or cannot be read.
  const QByteArray& Get(const std::string& path) {
    auto byPath = byPath_.find(path);
    if (byPath != byPath_.end()) return *byPath->second;
    QFile file(QString::fromStdString(path));
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const QByteArray key = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
    auto byContent = byContent_.find(key);
    if (byContent == byContent_.end()) byContent = byContent_.emplace(key, Encode(bytes)).first;
    byPath_.emplace(path, &byContent->second);
    return byContent->second;
  }

private:
  static QByteArray Encode(const QByteArray& file) {
    QByteArray png;
    const QImage image = DecodeWholePicture(file);
    if (image.isNull()) return png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // The quickest deflate: report pictures are a few flat colours, which
    // the strongest level makes hardly any smaller.
    writer.setCompression(kPngCompression);
    if (!writer.write(image)) png.clear();
    return png;
  }

  static constexpr int kPngCompression = 1;
  std::unordered_map<std::string, const QByteArray*> byPath_;
  std::map<QByteArray, QByteArray> byContent_;  // file digest -> PNG; nodes never move
};

}  // namespace

bool WriteXlsx(const Workbook& workbook, const std::string& path, std::string* error,
               const CancelCheck& cancelled) {
  auto fail = [error](const std::string& reason) {
    if (error) *error = reason;
    return false;
  };
  const auto stop = [&cancelled] { return cancelled && cancelled(); };
  StagedFile staged(path);
  if (!staged.ok()) return fail(staged.error());
  const PackedWorkbook packed;
  if (!packed.ok()) return fail(std::string("the workbook cannot be packed: ") + std::strerror(packed.error()));
  std::unique_ptr<lxw_workbook, WorkbookDropper> wb(workbook_new(packed.name().c_str()));
  if (!wb) return fail("the workbook could not be created");
  FormatCache formats(wb.get());
  PictureCache pictures;
  for (const Sheet& sheet : workbook.sheets) {
    const char* name = sheet.name.empty() ? nullptr : sheet.name.c_str();
    if (name) {
      const lxw_error check = workbook_validate_sheet_name(wb.get(), name);
      if (check != LXW_NO_ERROR) return fail("sheet name \"" + sheet.name + "\": " + lxw_strerror(check));
    }
    lxw_worksheet* ws = workbook_add_worksheet(wb.get(), name);
    if (!ws) return fail("sheet \"" + sheet.name + "\" could not be added");
    for (size_t c = 0; c < workbook.columnWidths.size(); ++c)
      worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), workbook.columnWidths[c], nullptr);
    for (size_t r = 0; r < sheet.rows.size(); ++r) {
      if (r % kRowsPerCancelCheck == 0 && stop()) return fail(kCancelledReason);
      const SheetRow& row = sheet.rows[r];
      if (row.height > 0) worksheet_set_row(ws, lxw_row_t(r), row.height, nullptr);
      for (size_t c = 0; c < row.cells.size(); ++c) {
        const SheetCell& cell = row.cells[c];
        const bool styled = cell.bold || cell.fontSize != kDefaultFontSize;
        double value = 0;
        if (cell.number && ReadNumber(cell.text, &value)) {
          worksheet_write_number(ws, lxw_row_t(r), lxw_col_t(c), value, formats.Get(cell));
        } else if (!cell.text.empty()) {
          worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), cell.text.c_str(), formats.Get(cell));
        } else if (styled) {
          worksheet_write_blank(ws, lxw_row_t(r), lxw_col_t(c), formats.Get(cell));
        }
        if (!cell.picture.empty()) {
          const QByteArray& png = pictures.Get(cell.picture);
          if (png.isEmpty()) {
            // The note stands where the picture would have been.
            const QString file = QString::fromStdString(cell.picture);
            const std::string note = MissingPictureNote(file, QFileInfo::exists(file)).toStdString();
            worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), note.c_str(), formats.Get(cell));
            continue;
          }
          lxw_image_options options{};
          options.x_offset = 2;
          options.y_offset = 2;
          options.x_scale = 1;
          options.y_scale = 1;
          worksheet_insert_image_buffer_opt(ws, lxw_row_t(r), lxw_col_t(c),
                                            reinterpret_cast<const unsigned char*>(png.constData()),
                                            size_t(png.size()), &options);
        }
      }
    }
  }
  if (stop()) return fail(kCancelledReason);
  const lxw_error closed = workbook_close(wb.release());
  if (closed != LXW_NO_ERROR) return fail(lxw_strerror(closed));
  // Packing the file cannot be interrupted; a cancel meanwhile drops it.
  if (stop()) return fail(kCancelledReason);
  std::string why;
  if (!packed.CopyTo(staged, &why)) return fail(why);
  if (stop()) return fail(kCancelledReason);
  if (!staged.Commit()) return fail(staged.error());
  return true;
}

}  // namespace qmx::report
