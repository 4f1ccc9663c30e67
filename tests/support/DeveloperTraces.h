#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QStringList>

namespace ifb::test {

// Collects every message of the ifb.* categories while it lives, with these
// logging rules in force; other messages go where they went before.
class DeveloperTraces {
  public:
    explicit DeveloperTraces(const QString& rules) {
        QLoggingCategory::setFilterRules(rules);
        lines().clear();
        previous() = qInstallMessageHandler(&DeveloperTraces::take);
    }
    ~DeveloperTraces() {
        qInstallMessageHandler(previous());
        QLoggingCategory::setFilterRules(QString());
    }
    DeveloperTraces(const DeveloperTraces&) = delete;
    DeveloperTraces& operator=(const DeveloperTraces&) = delete;
    static QStringList& lines() {
        static QStringList taken;
        return taken;
    }

  private:
    static QtMessageHandler& previous() {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void take(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (context.category && QByteArray(context.category).startsWith("ifb.")) {
            lines().append(QLatin1String(context.category) + QStringLiteral(": ") + text);
        } else if (previous()) {
            previous()(type, context, text);
        }
    }
};

}  // namespace ifb::test
