#include "HistoryDialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "RecordCsv.h"
#include "RecordsMessages.h"
#include "SystemShell.h"

namespace ifb {
namespace {

namespace M = RecordsMessages;

// The earliest day the date fields offer; it stands for "no bound".
const QDate kNoBound(2000, 1, 1);

QDateEdit* DateField(QWidget* parent) {
    auto* edit = new QDateEdit(parent);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setMinimumDate(kNoBound);
    edit->setSpecialValueText(QStringLiteral("----/--/--"));
    edit->setDate(kNoBound);
    return edit;
}

// A record's fields, one per line, in the columns' names.
QString DetailsText(const UpdateRecord& r) {
    const QStringList& columns = RecordColumns();
    QStringList lines;
    const QStringList values = RecordTexts(r);
    for (int i = 0; i < columns.size(); ++i) lines << columns[i] + QStringLiteral(": ") + values[i];
    lines << QString() << M::stagesLabel();
    const QJsonObject stages = QJsonDocument::fromJson(r.stages.toUtf8()).object();
    for (auto it = stages.begin(); it != stages.end(); ++it)
        lines << QStringLiteral("  ") + it.key() + QStringLiteral(": ") +
                     QString::number(it.value().toDouble(), 'f', 0);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

HistoryDialog::HistoryDialog(RecordStore& store, QString logFolder, QWidget* parent)
    : QDialog(parent),
      store_(store),
      logFolder_(std::move(logFolder)),
      model_(store),
      from_(DateField(this)),
      to_(DateField(this)),
      result_(new QComboBox(this)),
      modelField_(new QLineEdit(this)),
      targetId_(new QLineEdit(this)),
      station_(new QLineEdit(this)),
      table_(new QTableView(this)),
      totals_(new QLabel(this)),
      refilter_(new QTimer(this)) {
    setObjectName(QStringLiteral("HistoryDialog"));
    setWindowTitle(M::historyTitle());
    resize(1000, 560);

    from_->setObjectName(QStringLiteral("FromDate"));
    to_->setObjectName(QStringLiteral("ToDate"));
    result_->setObjectName(QStringLiteral("ResultFilter"));
    modelField_->setObjectName(QStringLiteral("ModelFilter"));
    targetId_->setObjectName(QStringLiteral("TargetIdFilter"));
    station_->setObjectName(QStringLiteral("StationFilter"));
    table_->setObjectName(QStringLiteral("HistoryTable"));
    totals_->setObjectName(QStringLiteral("HistoryTotals"));
    result_->addItem(M::allResults(), QString());
    result_->addItem(QStringLiteral("OK"), QStringLiteral("ok"));
    result_->addItem(QStringLiteral("NG"), QStringLiteral("ng"));
    for (const char* outcome : {"aborted", "timeout", "tool_failed", "cancelled", "refused"})
        result_->addItem(M::outcomeText(QLatin1String(outcome)), QLatin1String(outcome));

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(M::period(), this));
    filters->addWidget(from_);
    filters->addWidget(new QLabel(QStringLiteral("～"), this));
    filters->addWidget(to_);
    filters->addWidget(new QLabel(M::resultLabel(), this));
    filters->addWidget(result_);
    filters->addWidget(new QLabel(M::modelLabel(), this));
    filters->addWidget(modelField_);
    filters->addWidget(new QLabel(M::targetIdLabel(), this));
    filters->addWidget(targetId_);
    filters->addWidget(new QLabel(M::stationLabel(), this));
    filters->addWidget(station_);

    table_->setModel(&model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Widths from the headings only: sizing from the contents would read every row.
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->setColumnWidth(0, 150);
    table_->setColumnWidth(1, 130);
    table_->setColumnWidth(3, 150);

    auto* exportButton = new QPushButton(M::exportCsv(), this);
    auto* folderButton = new QPushButton(M::openLogFolder(), this);
    auto* closeButton = new QPushButton(M::closeButton(), this);
    exportButton->setObjectName(QStringLiteral("ExportCsv"));
    folderButton->setObjectName(QStringLiteral("OpenLogFolder"));
    closeButton->setObjectName(QStringLiteral("CloseHistory"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(totals_, 1);
    buttons->addWidget(exportButton);
    buttons->addWidget(folderButton);
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);

    refilter_->setSingleShot(true);
    refilter_->setInterval(200);
    connect(refilter_, &QTimer::timeout, this, &HistoryDialog::applyFilter);
    const auto later = [this] { refilter_->start(); };
    connect(from_, &QDateEdit::dateChanged, this, later);
    connect(to_, &QDateEdit::dateChanged, this, later);
    connect(result_, &QComboBox::currentIndexChanged, this, later);
    for (QLineEdit* field : {modelField_, targetId_, station_})
        connect(field, &QLineEdit::textChanged, this, later);
    connect(table_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { showDetails(index.row()); });
    connect(exportButton, &QPushButton::clicked, this, &HistoryDialog::exportCsv);
    connect(folderButton, &QPushButton::clicked, this,
            [this] { systemShell().openUrl(QUrl::fromLocalFile(logFolder_)); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    chooseExportPath_ = [this] {
        return QFileDialog::getSaveFileName(this, M::exportCsv(), QString(), QStringLiteral("CSV (*.csv)"));
    };
    updateTotals();
}

RecordFilter HistoryDialog::filterOfFields() const {
    RecordFilter f;
    if (from_->date() != kNoBound) f.from = from_->date();
    if (to_->date() != kNoBound) f.to = to_->date();
    f.result = result_->currentData().toString();
    f.model = modelField_->text().trimmed();
    f.targetId = targetId_->text().trimmed();
    f.station = station_->text().trimmed();
    return f;
}

void HistoryDialog::applyFilter() {
    refilter_->stop();
    model_.setFilter(filterOfFields());
    updateTotals();
}

void HistoryDialog::updateTotals() {
    const RecordTotals t = store_.totals(model_.filter());
    QString text = M::totals(t.ok, t.ng);
    if (!t.ngCodes.isEmpty()) {
        QStringList codes;
        for (const auto& [code, n] : t.ngCodes) codes << QStringLiteral("%1×%2").arg(code).arg(n);
        text += QStringLiteral("　") + M::ngCodesLabel() + codes.join(QStringLiteral(", "));
    }
    if (!store_.isOpen()) text = M::noRecordsFile();
    totals_->setText(text);
}

QString HistoryDialog::totalsText() const {
    return totals_->text();
}

void HistoryDialog::exportCsv() {
    const QString path = chooseExportPath_();
    if (path.isEmpty()) return;
    int count = 0;
    QString why;
    const bool ok = ExportRecordsCsv(store_, model_.filter(), path, count, why);
    lastMessage_ = ok ? M::csvWritten(count, path) : M::csvFailed(path, why);
    auto* box = new QMessageBox(ok ? QMessageBox::Information : QMessageBox::Warning, M::historyTitle(),
                                lastMessage_, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("HistoryExportBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void HistoryDialog::showDetails(int row) {
    const UpdateRecord r = model_.recordAt(row);
    if (r.uuid.isEmpty()) return;
    delete details_;
    details_ = new QDialog(this);
    details_->setObjectName(QStringLiteral("RecordDetails"));
    details_->setWindowTitle(M::detailsTitle());
    details_->resize(640, 560);
    auto* text = new QPlainTextEdit(details_);
    text->setObjectName(QStringLiteral("DetailsText"));
    text->setReadOnly(true);
    text->setPlainText(DetailsText(r));
    auto* buttons = new QDialogButtonBox(details_);
    QPushButton* logButton = buttons->addButton(M::openLogFile(), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(M::closeButton(), QDialogButtonBox::AcceptRole);
    const QString logPath = QFileInfo(logFolder_).path() + QLatin1Char('/') + r.logFile;
    logButton->setEnabled(!r.logFile.isEmpty() && QFileInfo::exists(logPath));
    connect(logButton, &QPushButton::clicked, details_,
            [logPath] { systemShell().openUrl(QUrl::fromLocalFile(logPath)); });
    connect(close, &QPushButton::clicked, details_, &QDialog::accept);
    auto* layout = new QVBoxLayout(details_);
    layout->addWidget(new QLabel(M::logFileLabel() + QStringLiteral(": ") + r.logFile, details_));
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    details_->open();
}

}  // namespace ifb
