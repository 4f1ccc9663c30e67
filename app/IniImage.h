#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace ifb {

// Parses an INI integer: optional blanks, an optional sign, decimal digits,
// optional blanks, and nothing else; the value must fit in an int. Anything
// else ("0x10", "12abc", "", "1e3", "99999999999") is not an integer, so the
// caller takes its default. Hex is refused on purpose: the program writes
// decimal only, and ComPort/Port treat any non-decimal text as a port name.
std::optional<int> ParseIniInteger(const QString& text);

// In-memory image of a whole INI file. A writer loads the file, changes its
// keys and saves the image back; everything it did not touch (foreign
// sections and keys, comments, junk lines, their bytes and order) is carried
// over. Section and key names match without regard to case. When a section or
// key occurs twice, the first one is read and written, the others are kept.
//
// Encoding: UTF-8 on Linux, the local 8-bit code page elsewhere; a UTF-8 byte
// order mark selects UTF-8 and is written back. Lines end in CRLF when the
// loaded file used CRLF, otherwise in the platform's convention.
class IniImage {
  public:
    enum class LoadStatus { Loaded, Missing, Unreadable };

    // Replaces the image by the file's content. A missing file gives an empty
    // image; an unreadable one (no permission, a folder) too, reported as such.
    LoadStatus load(const QString& path);
    void parse(const QByteArray& input);

    // The whole file as it would be saved.
    QByteArray toBytes() const;
    // Writes to a temporary file beside path and renames it over the old file,
    // so a failed or interrupted write leaves the old file as it was.
    bool save(const QString& path) const;

    bool hasSection(const QString& section) const;
    // The value of the first matching key, blanks around it removed.
    std::optional<QString> value(const QString& section, const QString& key) const;
    QString readString(const QString& section, const QString& key, const QString& def = {}) const;
    int readInteger(const QString& section, const QString& key, int def) const;

    // Updates the first matching key in place, or appends the key at the end
    // of its section (a new section goes at the end of the file). Line breaks
    // in value are replaced by blanks: a value is one line.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);

  private:
    enum class Kind { Other, Section, Key };
    struct Line {
        Kind kind = Kind::Other;
        QString name;        // section or key name
        QString value;       // key value
        QByteArray raw;      // the line as loaded, without line end
        bool dirty = false;  // written by us: encode from name/value
    };

    QString decode(const QByteArray& bytes) const;
    QByteArray encode(const QString& text) const;
    Line parseLine(const QByteArray& raw) const;
    qsizetype findSection(const QString& section) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(const QString& section, const QString& key) const;

    std::vector<Line> lines_;
    bool utf8Bom_ = false;
    bool crlf_ = false;
};

}  // namespace ifb
