#pragma once

#include <QAbstractTableModel>
#include <QHash>

#include "RecordStore.h"

namespace ifb {

// The records a filter takes, newest first, for a table view. Rows are read
// from the file a page at a time as the view needs them, so a file of any
// size opens at once.
class RecordTableModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kPageRows = 200;

    explicit RecordTableModel(RecordStore& store, QObject* parent = nullptr);

    void setFilter(const RecordFilter& filter);
    const RecordFilter& filter() const { return filter_; }
    // Counts and pages again (after a commit).
    void reload();
    UpdateRecord recordAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  private:
    const QList<UpdateRecord>& pageOf(int row) const;

    RecordStore& store_;
    RecordFilter filter_;
    int rows_ = 0;
    mutable QHash<int, QList<UpdateRecord>> pages_;
};

}  // namespace ifb
