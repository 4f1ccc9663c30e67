#include "IniImage.h"

#include <QFile>
#include <QSaveFile>
#include <limits>

namespace ifb {
namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Loaded blank lines only: a line we wrote always has content.
bool IsBlankRaw(const QByteArray& raw, bool dirty) {
    return !dirty && raw.trimmed().isEmpty();
}

}  // namespace

std::optional<int> ParseIniInteger(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i == t.size()) return std::nullopt;
    qint64 magnitude = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > qint64(1) << 31) return std::nullopt;
    }
    const qint64 v = negative ? -magnitude : magnitude;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return std::nullopt;
    return static_cast<int>(v);
}

QString IniImage::decode(const QByteArray& bytes) const {
#ifdef Q_OS_WIN
    if (!utf8Bom_) return QString::fromLocal8Bit(bytes);
#endif
    return QString::fromUtf8(bytes);
}

QByteArray IniImage::encode(const QString& text) const {
#ifdef Q_OS_WIN
    if (!utf8Bom_) return text.toLocal8Bit();
#endif
    return text.toUtf8();
}

IniImage::LoadStatus IniImage::load(const QString& path) {
    lines_.clear();
    utf8Bom_ = false;
    crlf_ = false;
    QFile file(path);
    if (!file.exists()) return LoadStatus::Missing;
    if (!file.open(QIODevice::ReadOnly)) return LoadStatus::Unreadable;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return LoadStatus::Unreadable;
    parse(bytes);
    return LoadStatus::Loaded;
}

void IniImage::parse(const QByteArray& input) {
    lines_.clear();
    utf8Bom_ = input.startsWith(kUtf8Bom);
    crlf_ = false;
    const QByteArray bytes = utf8Bom_ ? input.mid(kUtf8Bom.size()) : input;

    bool inSection = false;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) end = bytes.size();
        QByteArray raw = bytes.mid(start, end - start);
        if (raw.endsWith('\r')) {
            raw.chop(1);
            crlf_ = true;
        }
        Line line = parseLine(raw);
        if (line.kind == Kind::Section) inSection = true;
        // Keys before the first section belong to none: keep them as text.
        if (line.kind == Kind::Key && !inSection) line.kind = Kind::Other;
        lines_.push_back(std::move(line));
        start = end + 1;
    }
}

IniImage::Line IniImage::parseLine(const QByteArray& raw) const {
    Line line;
    line.raw = raw;
    const QString text = decode(raw).trimmed();
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close > 0) {
            line.kind = Kind::Section;
            line.name = text.mid(1, close - 1).trimmed();
        }
        return line;
    }
    if (text.startsWith(QLatin1Char(';')) || text.startsWith(QLatin1Char('#'))) return line;
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0) return line;
    const QString name = text.left(eq).trimmed();
    if (name.isEmpty()) return line;
    line.kind = Kind::Key;
    line.name = name;
    line.value = text.mid(eq + 1).trimmed();
    return line;
}

QByteArray IniImage::toBytes() const {
#ifdef Q_OS_WIN
    const QByteArray eol = "\r\n";
#else
    const QByteArray eol = crlf_ ? QByteArray("\r\n") : QByteArray("\n");
#endif
    QByteArray out;
    if (utf8Bom_) out += kUtf8Bom;
    for (const Line& line : lines_) {
        if (!line.dirty) {
            out += line.raw;
        } else if (line.kind == Kind::Section) {
            out += encode(QLatin1Char('[') + line.name + QLatin1Char(']'));
        } else if (line.kind == Kind::Key) {
            out += encode(line.name + QLatin1Char('=') + line.value);
        }
        out += eol;
    }
    return out;
}

bool IniImage::save(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = toBytes();
    // Flush before commit: commit() does not notice a short write of data
    // still in the buffer (a full disk) and would rename a truncated file
    // over the old one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

qsizetype IniImage::findSection(const QString& section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section && SameName(lines_[i].name, section))
            return static_cast<qsizetype>(i);
    }
    return -1;
}

qsizetype IniImage::sectionEnd(qsizetype header) const {
    size_t i = static_cast<size_t>(header) + 1;
    while (i < lines_.size() && lines_[i].kind != Kind::Section) ++i;
    return static_cast<qsizetype>(i);
}

qsizetype IniImage::findKey(const QString& section, const QString& key) const {
    const qsizetype header = findSection(section);
    if (header < 0) return -1;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line& line = lines_[static_cast<size_t>(i)];
        if (line.kind == Kind::Key && SameName(line.name, key)) return i;
    }
    return -1;
}

bool IniImage::hasSection(const QString& section) const {
    return findSection(section) >= 0;
}

std::optional<QString> IniImage::value(const QString& section, const QString& key) const {
    const qsizetype i = findKey(section, key);
    if (i < 0) return std::nullopt;
    return lines_[static_cast<size_t>(i)].value;
}

QString IniImage::readString(const QString& section, const QString& key, const QString& def) const {
    return value(section, key).value_or(def);
}

int IniImage::readInteger(const QString& section, const QString& key, int def) const {
    const std::optional<QString> text = value(section, key);
    if (!text) return def;
    return ParseIniInteger(*text).value_or(def);
}

void IniImage::writeString(const QString& section, const QString& key, const QString& value) {
    QString oneLine = value;
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    oneLine = oneLine.trimmed();

    const qsizetype existing = findKey(section, key);
    if (existing >= 0) {
        Line& line = lines_[static_cast<size_t>(existing)];
        if (line.value == oneLine) return;  // leave the line's bytes alone
        line.value = oneLine;
        line.dirty = true;
        return;
    }

    Line keyLine;
    keyLine.kind = Kind::Key;
    keyLine.name = key;
    keyLine.value = oneLine;
    keyLine.dirty = true;

    const qsizetype header = findSection(section);
    if (header < 0) {
        // A blank line keeps the new section apart from what comes before.
        if (!lines_.empty() && !IsBlankRaw(lines_.back().raw, lines_.back().dirty)) lines_.push_back(Line{});
        Line sectionLine;
        sectionLine.kind = Kind::Section;
        sectionLine.name = section;
        sectionLine.dirty = true;
        lines_.push_back(sectionLine);
        lines_.push_back(keyLine);
        return;
    }
    // After the section's last non-blank line, so blank lines before the
    // next section stay where they are.
    qsizetype at = sectionEnd(header);
    while (at > header + 1) {
        const Line& prev = lines_[static_cast<size_t>(at - 1)];
        if (!IsBlankRaw(prev.raw, prev.dirty)) break;
        --at;
    }
    lines_.insert(lines_.begin() + at, keyLine);
}

void IniImage::writeInteger(const QString& section, const QString& key, int value) {
    writeString(section, key, QString::number(value));
}

}  // namespace ifb
