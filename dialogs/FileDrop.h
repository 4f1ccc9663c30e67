#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace ifb {

// A drop target bound to one widget (an edit field): files dragged from the
// desktop onto it raise filesDropped with their full paths, in the order the
// platform reports them. Anything else dragged there (plain text, web links)
// is refused, so the field's own text drop does not take it either.
class TFileDrop final : public QObject {
    Q_OBJECT
  public:
    explicit TFileDrop(QWidget* target);

    QWidget* target() const { return target_; }

  signals:
    void filesDropped(const QStringList& paths);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> target_;
};

}  // namespace ifb
