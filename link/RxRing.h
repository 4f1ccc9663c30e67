#pragma once

#include <QtGlobal>
#include <algorithm>
#include <array>

namespace ifb {

// The link's receive ring: the transports' data handlers put bytes in, the
// poll takes them out. Equal indices mean empty, so at most kSize - 1 bytes
// wait unread; a delivery that does not fit is cut, never wrapped over
// unread bytes.
class RxRing {
  public:
    static constexpr int kSize = 16384;

    // Stores as many of the n bytes as fit; returns how many were stored.
    int put(const quint8* bytes, int n) {
        const int stored = n < space() ? n : space();
        const int first = stored < kSize - write_ ? stored : kSize - write_;
        std::copy(bytes, bytes + first, buffer_.begin() + write_);
        std::copy(bytes + first, bytes + stored, buffer_.begin());
        write_ += stored;
        if (write_ >= kSize) write_ -= kSize;
        return stored;
    }

    int unread() const { return (write_ - read_) & (kSize - 1); }
    int space() const { return kSize - 1 - unread(); }

    // Next unread byte; only call while unread() > 0.
    quint8 take() {
        const quint8 b = buffer_[static_cast<size_t>(read_)];
        read_ = (read_ + 1) & (kSize - 1);
        return b;
    }

    void reset() { write_ = read_ = 0; }
    int writeIndex() const { return write_; }
    int readIndex() const { return read_; }

  private:
    std::array<quint8, kSize> buffer_{};
    int write_ = 0;
    int read_ = 0;
};

}  // namespace ifb
