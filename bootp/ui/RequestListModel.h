// The request list as a table model. Rows handed in wait in a batch until
// Flush lists them with one insertion, so a burst of requests costs the view
// one layout and one scroll, not one per request.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <vector>

#include "bootp/core/bootp_lists.h"

namespace qmx::plenvar {

class RequestListModel : public QAbstractTableModel {
public:
  explicit RequestListModel(QObject* parent = nullptr);

  void Queue(std::vector<RequestRow>&& rows);
  // Lists what waits: one insertion at the end, or, when the batch runs past
  // the list's bound, the list starting over. False when nothing waited.
  bool Flush();
  void Clear();
  const RequestList& list() const { return list_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
  RequestList list_;
  std::vector<RequestRow> queued_;
  QIcon deviceIcon_[2];  // 0 an ordinary device, 1 one of the maker's
};

}  // namespace qmx::plenvar
