#include "bootp/ui/RequestListModel.h"

#include <QPainter>
#include <QPixmap>
#include <iterator>

namespace qmx::plenvar {
namespace {

constexpr const char* kTitles[] = {"Type", "Time", "Ethernet Address(MAC)", "IP Address", "Transaction ID"};

QIcon DeviceIcon(bool maker) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(maker ? QColor(0, 102, 204) : QColor(160, 160, 160));
  p.drawRoundedRect(QRectF(1.5, 3.5, 13, 9), 2, 2);
  p.setPen(QPen(Qt::white, 1.5));
  p.drawLine(QPointF(4, 8), QPointF(12, 8));
  if (maker) p.drawLine(QPointF(8, 5), QPointF(8, 11));
  return QIcon(pixmap);
}

}  // namespace

RequestListModel::RequestListModel(QObject* parent) : QAbstractTableModel(parent) {
  deviceIcon_[0] = DeviceIcon(false);
  deviceIcon_[1] = DeviceIcon(true);
}

void RequestListModel::Queue(std::vector<RequestRow>&& rows) {
  if (queued_.empty()) {
    queued_ = std::move(rows);
  } else {
    queued_.insert(queued_.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
  }
  rows.clear();
}

bool RequestListModel::Flush() {
  if (queued_.empty()) return false;
  if (queued_.size() <= list_.RoomBeforeRestart()) {
    const int first = static_cast<int>(list_.size());
    beginInsertRows({}, first, first + static_cast<int>(queued_.size()) - 1);
    for (RequestRow& row : queued_) list_.Add(std::move(row));
    endInsertRows();
  } else {
    beginResetModel();
    for (RequestRow& row : queued_) list_.Add(std::move(row));
    endResetModel();
  }
  queued_.clear();
  return true;
}

void RequestListModel::Clear() {
  beginResetModel();
  list_.Clear();
  queued_.clear();
  endResetModel();
}

int RequestListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

int RequestListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(std::size(kTitles));
}

QVariant RequestListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const RequestRow& row = list_.rows()[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case 1: return QString::fromStdString(row.time);
        case 2: return QString::fromStdString(row.mac);
        case 3: return QString::fromStdString(row.ip);
        case 4: return QString::fromStdString(row.transactionId);
        default: return {};
      }
    case Qt::DecorationRole: return index.column() == 0 ? QVariant(deviceIcon_[row.makerDevice ? 1 : 0]) : QVariant();
    case Qt::TextAlignmentRole: return QVariant(Qt::AlignCenter);
    default: return {};
  }
}

QVariant RequestListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::DisplayRole) return QString::fromUtf8(kTitles[section]);
  if (role == Qt::TextAlignmentRole) return QVariant(Qt::AlignCenter);
  return {};
}

}  // namespace qmx::plenvar
