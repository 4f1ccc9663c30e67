#include "RecordKeeper.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSysInfo>
#include <QUuid>

#include "CentralSync.h"
#include "FirmwareResource.h"
#include "Operator.h"
#include "RecordsMessages.h"
#include "VersionInfo.h"

namespace ifb {
namespace {

QString FileSha256(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return QString();
    return QString::fromLatin1(hash.result().toHex());
}

QString OsUser() {
    for (const char* name : {"USER", "LOGNAME", "USERNAME"}) {
        QString user = qEnvironmentVariable(name);
        if (!user.isEmpty()) return user;
    }
    return QString();
}

}  // namespace

StationFacts StationFacts::OfThisPc(const QString& firmwareId) {
    StationFacts s;
    s.station = QSysInfo::machineHostName();
    s.operatorName = OsUser();
    s.programVersion = GetVersionInfo(2);
    s.firmwareId = firmwareId;
    bool found = false;
    const QByteArray image = LoadFirmware(firmwareId, &found);
    if (found) {
        s.imageSha256 =
            QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
        s.imageSize = image.size();
    }
    return s;
}

UpdateRecord BuildRecord(const UpdateFacts& facts, const StationFacts& station, const QString& logFile,
                         const QString& uploaderSha256) {
    UpdateRecord r;
    r.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.startedAt = facts.startedAt.toUTC();
    r.finishedAt = r.startedAt.addMSecs(facts.durationMs);
    r.station = station.station;
    r.operatorName = station.operatorName;
    r.programVersion = station.programVersion;
    r.firmwareId = station.firmwareId;
    r.imageSha256 = station.imageSha256;
    r.imageSize = station.imageSize;
    r.port = facts.port;
    r.model = facts.model;
    r.targetId = facts.targetId;
    r.romBefore = facts.romBefore;
    r.romAfter = facts.romAfter;
    r.outcome = facts.outcome;
    r.outcomeCode = facts.outcomeCode;
    r.ngCode = facts.ngCode;
    r.durationMs = facts.durationMs;
    r.stages = QString::fromUtf8(QJsonDocument(facts.stages).toJson(QJsonDocument::Compact));
    r.uploader = facts.uploader;
    r.uploaderSha256 = uploaderSha256;
    r.bytesSent = facts.bytesSent;
    r.logFile = logFile;
    r.unit = facts.unit;
    return r;
}

// One source's view of the log pane: the operator's pane, and the file.
class RecordKeeper::Pane final : public LogPane {
  public:
    Pane(RecordKeeper& keeper, LineClass lineClass) : keeper_(keeper), class_(lineClass) {}
    int lineCount() const override { return keeper_.op_.logPane().lineCount(); }
    void clear() override { keeper_.op_.logPane().clear(); }
    void appendLine(const QString& text) override {
        keeper_.op_.logPane().appendLine(text);
        keeper_.log_->write(class_, text);
    }

  private:
    RecordKeeper& keeper_;
    LineClass class_;
};

RecordKeeper::RecordKeeper(Operator& op, const QString& firmwareId)
    : op_(op),
      station_(StationFacts::OfThisPc(firmwareId)),
      store_(std::make_unique<RecordStore>(QString())),
      log_(std::make_unique<SessionLog>(QString(), RecordsSettings().LogKeepDays)) {
    for (LineClass c : {LineClass::Always, LineClass::Verbose, LineClass::Trace, LineClass::Tool})
        panes_.push_back(std::make_unique<Pane>(*this, c));
}

RecordKeeper::~RecordKeeper() = default;

void RecordKeeper::open(const QString& settingsPath) {
    folder_ = QFileInfo(settingsPath).absolutePath();
    const RecordsSettings settings = ReadRecordsSettings(settingsPath);
    auto log = std::make_unique<SessionLog>(folder_, settings.LogKeepDays);
    log->setFailureNotice([this](const QString& text) { AppendLogLine(op_.logPane(), text); });
    log->setSecret(secret_);
    log_ = std::move(log);
    central_.reset();
    store_ = std::make_unique<RecordStore>(RecordsFileBeside(settingsPath));
    QString aside;
    if (!store_->open(&aside)) {
        storeFailing_ = true;
        tell(RecordsMessages::storeFailed(QDir::toNativeSeparators(store_->path()), store_->error()));
    } else if (!aside.isEmpty()) {
        tell(RecordsMessages::storeSetAside(QDir::toNativeSeparators(aside)));
    }
    startCentral(settings);
}

void RecordKeeper::startCentral(const RecordsSettings& settings) {
    if (!settings.centralConfigured()) return;
    QString why;
    const std::optional<QString> password = ReadPasswordFile(settings.CentralPasswordFile, why);
    if (!password) {
        tell(RecordsMessages::passwordFileUnusable(QDir::toNativeSeparators(settings.CentralPasswordFile),
                                                   why));
        return;
    }
    const CentralConfig config{settings.CentralHost, settings.CentralPort, settings.CentralDatabase,
                               settings.CentralUser, *password};
    central_ = std::make_unique<CentralSync>(*store_, config, [this](const QString& text) { tell(text); });
    connect(central_.get(), &CentralSync::waitingChanged, this,
            [this](int count) { emit waitingChanged(count + pendingCount()); });
    emit waitingChanged(store_->unsyncedCount() + pendingCount());
    central_->kick();
}

void RecordKeeper::commit(const UpdateFacts& facts) {
    pending_.append(BuildRecord(facts, station_, log_->currentFile(), uploaderSha256(facts.uploader)));
    flushPending();
    if (!central_) return;
    emit waitingChanged(store_->unsyncedCount() + pendingCount());
    central_->kick();
}

void RecordKeeper::flushPending() {
    if (pending_.isEmpty()) return;
    const auto failed = [this] {
        if (storeFailing_) return;
        storeFailing_ = true;
        tell(RecordsMessages::storeFailed(QDir::toNativeSeparators(store_->path()), store_->error()));
    };
    if (!store_->isOpen()) {
        QString aside;
        if (!store_->open(&aside)) return failed();
        if (!aside.isEmpty()) tell(RecordsMessages::storeSetAside(QDir::toNativeSeparators(aside)));
    }
    const int count = pendingCount();
    while (!pending_.isEmpty()) {
        if (!store_->insert(pending_.first())) {
            failed();
            // Opened afresh next time: a lock may be gone, a disk freed.
            store_->close();
            return;
        }
        pending_.removeFirst();
    }
    if (!storeFailing_) return;
    storeFailing_ = false;
    tell(RecordsMessages::storeRecovered(count));
}

void RecordKeeper::setSecret(const QString& secret) {
    secret_ = secret;
    log_->setSecret(secret);
}

QString RecordKeeper::uploaderSha256(const QString& path) {
    const QFileInfo info(path);
    const FileStamp stamp{path, info.size(), info.lastModified().toMSecsSinceEpoch()};
    if (stamp.path == hashed_.path && stamp.size == hashed_.size && stamp.modifiedMs == hashed_.modifiedMs)
        return uploaderSha256_;
    uploaderSha256_ = store_->knownDigest(stamp);
    if (uploaderSha256_.isEmpty()) {
        uploaderSha256_ = FileSha256(path);
        if (!uploaderSha256_.isEmpty()) store_->rememberDigest(stamp, uploaderSha256_);
    }
    hashed_ = stamp;
    return uploaderSha256_;
}

LogPane& RecordKeeper::pane(LineClass lineClass) {
    return *panes_[static_cast<size_t>(lineClass)];
}

void RecordKeeper::writeLine(LineClass lineClass, const QString& text) {
    AppendLogLine(pane(lineClass), text);
}

void RecordKeeper::tell(const QString& text) {
    writeLine(LineClass::Always, text);
}

}  // namespace ifb
