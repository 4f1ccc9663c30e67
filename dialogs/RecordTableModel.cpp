#include "RecordTableModel.h"

#include "RecordsMessages.h"

namespace ifb {
namespace {
// Pages kept in memory; scrolling far reads again.
constexpr int kKeptPages = 50;
}  // namespace

RecordTableModel::RecordTableModel(RecordStore& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store) {
    reload();
}

void RecordTableModel::setFilter(const RecordFilter& filter) {
    filter_ = filter;
    reload();
}

void RecordTableModel::reload() {
    beginResetModel();
    pages_.clear();
    rows_ = store_.count(filter_);
    endResetModel();
}

const QList<UpdateRecord>& RecordTableModel::pageOf(int row) const {
    const int page = row / kPageRows;
    auto it = pages_.find(page);
    if (it != pages_.end()) return *it;
    if (pages_.size() >= kKeptPages) pages_.clear();
    return *pages_.insert(page, store_.page(filter_, page * kPageRows, kPageRows));
}

UpdateRecord RecordTableModel::recordAt(int row) const {
    if (row < 0 || row >= rows_) return {};
    const QList<UpdateRecord>& page = pageOf(row);
    const int at = row % kPageRows;
    return at < page.size() ? page[at] : UpdateRecord{};
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(RecordsMessages::historyColumns().size());
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    const int row = index.row();
    if (row >= rows_) return {};
    const QList<UpdateRecord>& page = pageOf(row);
    const int at = row % kPageRows;
    if (at >= page.size()) return {};
    const UpdateRecord& r = page[at];
    switch (index.column()) {
        case 0:
            return r.startedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case 1:
            return RecordsMessages::outcomeText(r.outcome);
        case 2:
            return r.ngCode;
        case 3:
            return r.model;
        case 4:
            return r.targetId;
        case 5:
            return r.romBefore;
        case 6:
            return r.romAfter;
        case 7:
            return r.station;
        case 8:
            return r.operatorName;
        case 9:
            return r.port;
        case 10:
            return r.durationMs;
        default:
            return {};
    }
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    const QStringList columns = RecordsMessages::historyColumns();
    return section >= 0 && section < columns.size() ? QVariant(columns[section]) : QVariant();
}

}  // namespace ifb
