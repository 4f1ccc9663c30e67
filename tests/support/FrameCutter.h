#pragma once

#include <QByteArray>
#include <vector>

#include "TestFrames.h"

namespace ifb::test {

// The tests' own cut of frames out of a byte stream, by LEN and independent of
// the product's assembler: STX, ID, CMD, LEN, data, ETX, SUM, CR. A frame whose
// ETX, sum or CR is wrong is counted and skipped.
class FrameCutter {
  public:
    std::vector<QByteArray> add(const QByteArray& bytes) {
        pending_ += bytes;
        std::vector<QByteArray> frames;
        for (;;) {
            const qsizetype stx = pending_.indexOf('\x02');
            if (stx < 0) {
                pending_.clear();
                break;
            }
            pending_.remove(0, stx);
            if (pending_.size() < 4) break;
            const int size = static_cast<quint8>(pending_[3]) + 7;
            if (pending_.size() < size) break;
            const QByteArray frame = pending_.left(size);
            if (wellFormed(frame)) {
                frames.push_back(frame);
                pending_.remove(0, size);
            } else {
                ++rejected_;
                pending_.remove(0, frame[size - 1] == '\x0D' ? size : 1);
            }
        }
        return frames;
    }
    int rejected() const { return rejected_; }

  private:
    static bool wellFormed(const QByteArray& frame) {
        const int size = static_cast<int>(frame.size());
        return frame[size - 1] == '\x0D' && frame[size - 3] == '\x03' &&
               static_cast<quint8>(frame[size - 2]) == oracleSum(frame);
    }

    QByteArray pending_;
    int rejected_ = 0;
};

}  // namespace ifb::test
