#include "OtaMessages.h"

namespace ifb::ota {
namespace {

// Reads like the board does: skips blanks, then at most 15 decimal digits.
class Reader {
  public:
    explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}

    std::optional<qint64> number() {
        while (pos_ < bytes_.size() && bytes_[pos_] == ' ') ++pos_;
        qint64 value = 0;
        int digits = 0;
        while (pos_ < bytes_.size() && digits < 15 && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
            value = value * 10 + (bytes_[pos_] - '0');
            ++pos_;
            ++digits;
        }
        if (digits == 0) return std::nullopt;
        return value;
    }
    void skipOne() {
        if (pos_ < bytes_.size()) ++pos_;
    }
    QByteArray until(char stop) {
        const qsizetype start = pos_;
        while (pos_ < bytes_.size() && bytes_[pos_] != stop && bytes_[pos_] != '\n' && bytes_[pos_] != '\0')
            ++pos_;
        const QByteArray field = bytes_.mid(start, pos_ - start);
        if (pos_ < bytes_.size() && bytes_[pos_] == stop) ++pos_;
        return field.trimmed();
    }

  private:
    const QByteArray& bytes_;
    qsizetype pos_ = 0;
};

bool acceptedCommand(qint64 command) {
    return command == kCommandFlash || (command >= kCommandFilesystem && command <= 103);
}

}  // namespace

QByteArray FormatInvitation(const Invitation& invitation) {
    return QByteArray::number(invitation.command) + ' ' + QByteArray::number(invitation.hostPort) + ' ' +
           QByteArray::number(invitation.size) + ' ' + invitation.md5 + '\n';
}

std::optional<Invitation> ParseInvitation(const QByteArray& datagram) {
    Reader reader(datagram);
    const auto command = reader.number();
    if (!command || !acceptedCommand(*command)) return std::nullopt;
    const auto port = reader.number();
    const auto size = reader.number();
    if (!port || !size || *port < 1 || *port > 65535) return std::nullopt;
    reader.skipOne();
    const QByteArray md5 = reader.until('\n').toLower();
    if (md5.size() != 32) return std::nullopt;
    Invitation invitation;
    invitation.command = static_cast<int>(*command);
    invitation.hostPort = static_cast<int>(*port);
    invitation.size = *size;
    invitation.md5 = md5;
    return invitation;
}

QByteArray FormatAuthMessage(const AuthMessage& message) {
    return QByteArray::number(kCommandAuth) + ' ' + message.cnonce + ' ' + message.response + '\n';
}

std::optional<AuthMessage> ParseAuthMessage(const QByteArray& datagram) {
    Reader reader(datagram);
    const auto command = reader.number();
    if (!command || *command != kCommandAuth) return std::nullopt;
    reader.skipOne();
    AuthMessage message;
    message.cnonce = reader.until(' ');
    message.response = reader.until('\n');
    return message;
}

}  // namespace ifb::ota
