#pragma once

#include <QByteArray>

// Login math of the Arduino OTA exchange, shared by the uploader (PC side) and
// the simulated board. All digests are lowercase hex text.
namespace ifb::ota {

constexpr int kLegacyNonceLength = 32;  // MD5 login
constexpr int kPbkdf2NonceLength = 64;  // PBKDF2-HMAC-SHA256 login
constexpr int kPbkdf2Iterations = 10000;

QByteArray Md5Hex(const QByteArray& bytes);
QByteArray Sha256Hex(const QByteArray& bytes);

// The secret a board stores for a password: hex(MD5(p)) or hex(SHA256(p)).
enum class SecretKind { Md5, Sha256 };
QByteArray PasswordSecret(const QByteArray& password, SecretKind kind);

// The client nonce of espota: a digest of file name, size, file MD5 and board
// address as typed; MD5 (32 chars) for the legacy login, SHA-256 (64) otherwise.
QByteArray ClientNonce(const QByteArray& fileName, qint64 size, const QByteArray& fileMd5Hex,
                       const QByteArray& address, int nonceLength);

// Legacy login: hex(MD5(secret ":" nonce ":" cnonce)).
QByteArray LegacyResponse(const QByteArray& secretHex, const QByteArray& nonce, const QByteArray& cnonce);

// PBKDF2 login: K = PBKDF2-HMAC-SHA256(secret text, nonce ":" cnonce, 10000, 32) as hex,
// response = hex(SHA256(K ":" nonce ":" cnonce)).
QByteArray Pbkdf2Key(const QByteArray& secretHex, const QByteArray& nonce, const QByteArray& cnonce);
QByteArray Pbkdf2Response(const QByteArray& secretHex, const QByteArray& nonce, const QByteArray& cnonce);

// The response for a board nonce, the login chosen by the nonce's length.
QByteArray ResponseFor(const QByteArray& secretHex, const QByteArray& nonce, const QByteArray& cnonce);

}  // namespace ifb::ota
