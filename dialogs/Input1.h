#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace ifb {

class ClickableLabel;
class TFileDrop;

// The upload-tool dialog: a path field filled by typing, browsing or dropping
// a file on it, and a link to the download page. OK and Cancel only report;
// the caller checks the path.
class TInputDlg1 final : public QDialog {
    Q_OBJECT
  public:
    // Asks for a file to open: initial folder and Qt filter in, chosen path out (empty: none).
    using FileChooser = std::function<QString(QWidget* parent, const QString& folder, const QString& filter)>;

    explicit TInputDlg1(QWidget* owner = nullptr);

    void setPrompt(const QString& text);  // ST1
    void setPath(const QString& path);    // EF1
    QString path() const;
    // The browse filter as "description|pattern[;pattern]" pairs joined by "|".
    void setFilterText(const QString& filterText);
    QString qtFilter() const;
    // Extensions a dropped file may have, without the dot, letter case ignored;
    // an empty entry accepts a name without extension.
    void setAcceptedExtensions(const QStringList& extensions);
    // Shows ST2 and the link to the download page.
    void setDownloadInfo(const QString& text, const QString& url);
    void setFileChooser(FileChooser chooser);

    // The folder part of a path as the browse dialog starts in it.
    static QString FolderOf(const QString& path);
    // What a drop does with the dropped paths (first file only).
    void takeDroppedFiles(const QStringList& paths);
    // Opens the file-open dialog as SB1 does.
    void browse();

    TFileDrop* FD1() const { return fd1_; }

  private:
    QLabel* st1_;
    QLineEdit* ef1_;
    QToolButton* sb1_;
    TFileDrop* fd1_;
    QLabel* st2_;
    ClickableLabel* url_;
    QPushButton* button1_;
    QPushButton* button2_;
    QString filterText_;
    QStringList acceptedExtensions_;
    QString urlAddress_;
    FileChooser chooser_;
};

}  // namespace ifb
