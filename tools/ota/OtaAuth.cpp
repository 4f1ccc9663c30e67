#include "OtaAuth.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>

namespace ifb::ota {

QByteArray Md5Hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

QByteArray Sha256Hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray PasswordSecret(const QByteArray& password, SecretKind kind) {
    return kind == SecretKind::Md5 ? Md5Hex(password) : Sha256Hex(password);
}

QByteArray ClientNonce(const QByteArray& fileName, qint64 size, const QByteArray& fileMd5Hex,
                       const QByteArray& address, int nonceLength) {
    const QByteArray text = fileName + QByteArray::number(size) + fileMd5Hex + address;
    return nonceLength == kPbkdf2NonceLength ? Sha256Hex(text) : Md5Hex(text);
}

QByteArray LegacyResponse(const QByteArray& secretHex, const QByteArray& nonce, const QByteArray& cnonce) {
    return Md5Hex(secretHex + ':' + nonce + ':' + cnonce);
}

QByteArray Pbkdf2Key(const QByteArray& secretHex, const QByteArray& nonce, const QByteArray& cnonce) {
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, secretHex, nonce + ':' + cnonce,
                                              kPbkdf2Iterations, 32)
        .toHex();
}

QByteArray Pbkdf2Response(const QByteArray& secretHex, const QByteArray& nonce, const QByteArray& cnonce) {
    return Sha256Hex(Pbkdf2Key(secretHex, nonce, cnonce) + ':' + nonce + ':' + cnonce);
}

QByteArray ResponseFor(const QByteArray& secretHex, const QByteArray& nonce, const QByteArray& cnonce) {
    return nonce.size() == kPbkdf2NonceLength ? Pbkdf2Response(secretHex, nonce, cnonce)
                                              : LegacyResponse(secretHex, nonce, cnonce);
}

}  // namespace ifb::ota
