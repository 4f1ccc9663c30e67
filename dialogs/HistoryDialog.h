#pragma once

#include <QDialog>
#include <functional>

#include "RecordTableModel.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace ifb {

// The records of this station: a table with filters and totals, a record's
// details, the CSV export and the log folder.
class HistoryDialog final : public QDialog {
    Q_OBJECT
  public:
    HistoryDialog(RecordStore& store, QString logFolder, QWidget* parent = nullptr);

    // Where the export goes; the desktop's save dialog unless tests set it.
    void setExportPathChooser(std::function<QString()> chooser) { chooseExportPath_ = std::move(chooser); }
    // Applies the filter fields now.
    void applyFilter();
    void exportCsv();
    void showDetails(int row);

    RecordTableModel& model() { return model_; }
    QTableView& table() const { return *table_; }
    QString totalsText() const;
    QString lastMessage() const { return lastMessage_; }
    QDialog* detailsDialog() const { return details_; }

  private:
    RecordFilter filterOfFields() const;
    void updateTotals();

    RecordStore& store_;
    QString logFolder_;
    RecordTableModel model_;
    QDateEdit* from_;
    QDateEdit* to_;
    QComboBox* result_;
    QLineEdit* modelField_;
    QLineEdit* targetId_;
    QLineEdit* station_;
    QTableView* table_;
    QLabel* totals_;
    QTimer* refilter_;
    QDialog* details_ = nullptr;
    QString lastMessage_;
    std::function<QString()> chooseExportPath_;
};

}  // namespace ifb
