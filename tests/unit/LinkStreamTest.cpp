// A few million random bytes of valid, corrupt and cut frames and noise, fed
// through the receive ring in random deliveries, must give exactly what a
// plain byte-by-byte model of the frame rules gives, and the reply readers
// must never depend on bytes past the frame. Meant for the sanitizer build too.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "LinkReceiver.h"
#include "LinkTestFrames.h"
#include "QtPrinters.h"
#include "ReplyReaders.h"

using namespace ifb;
using namespace ifb::test;

namespace {

// The frame rules written out once more, independently of the code under test.
class ModelAssembler {
  public:
    std::vector<QByteArray> accepted;
    std::vector<QByteArray> rejected;

    void feed(quint8 b) {
        if (!in_) {
            if (b != 0x02) return;
            in_ = true;
            buf_[0] = b;
            count_ = 1;
            end_ = 7;
            return;
        }
        if (count_ == 3) {
            buf_[3] = b;
            count_ = 4;
            end_ = b + 6;
            return;
        }
        if (count_ == end_ && b == 0x0D) {
            buf_[static_cast<size_t>(count_)] = b;
            in_ = false;
            const int len = buf_[3];
            unsigned sum = 0;
            for (int i = 0; i < len + 5; ++i) sum += buf_[static_cast<size_t>(i)];
            const bool ok = buf_[static_cast<size_t>(len + 5)] == (sum & 0xFF) &&
                            buf_[static_cast<size_t>(len + 4)] == 0x03;
            const QByteArray f(reinterpret_cast<const char*>(buf_.data()), ok ? len + 7 : len + 6);
            (ok ? accepted : rejected).push_back(f);
            return;
        }
        if (count_ > end_) {
            in_ = false;
            return;
        }
        buf_[static_cast<size_t>(count_++)] = b;
    }

  private:
    std::array<quint8, 262> buf_{};
    bool in_ = false;
    int count_ = 0;
    int end_ = 0;
};

QByteArray randomStream(std::mt19937& rng, int size) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char commands[] = "0001111DDEEbbllIIGdiL";
    QByteArray s;
    while (s.size() < size) {
        const int what = pick(100);
        if (what < 10) {  // noise
            const int n = 1 + pick(50);
            for (int i = 0; i < n; ++i) s.append(static_cast<char>(pick(256)));
            continue;
        }
        const quint8 cmd = pick(8) == 0
                               ? static_cast<quint8>(pick(256))
                               : static_cast<quint8>(commands[pick(static_cast<int>(sizeof commands) - 1)]);
        const int len = pick(4) == 0 ? pick(256) : pick(16);
        QByteArray data;
        for (int i = 0; i < len; ++i) {
            const int k = pick(10);
            data.append(static_cast<char>(k == 0 ? 0x02 : k == 1 ? 0x03 : k == 2 ? 0x0D : pick(256)));
        }
        if (len >= 2 && pick(3) == 0) {  // shapes the readers look at
            data[1] = pick(2) ? '\x71' : data[1];
            if (len > 3) data[3] = '\x01';
        }
        if (cmd == 'D' && pick(2)) data = pick(2) ? QByteArray("OK") : QByteArray("BR");
        QByteArray f = frameOf(cmd, data, static_cast<quint8>(pick(256)));
        if (what < 60) {
        } else if (what < 70) {
            f[f.size() - 2] = static_cast<char>(f[f.size() - 2] + 1 + pick(255));  // bad sum
        } else if (what < 75) {
            f[f.size() - 3] = static_cast<char>(pick(256));  // ETX maybe broken
            f[f.size() - 2] = static_cast<char>(oracleSum(f));
        } else if (what < 85) {
            f[f.size() - 1] = static_cast<char>(pick(256));  // CR maybe missing
        } else {
            f.truncate(pick(static_cast<int>(f.size())));  // cut short
        }
        s.append(f);
    }
    return s;
}

struct ReaderResults {
    QString text0, text1, text2, text8;
    std::optional<quint16> mode, targetId;
    std::optional<ApConnection> connection;
    bool network = false, ap = false;
    TCPIPPARAM param;
    WiFi_AP apRecord;

    bool operator==(const ReaderResults& o) const {
        auto sameConn = [](const std::optional<ApConnection>& a, const std::optional<ApConnection>& b) {
            return a.has_value() == b.has_value() && (!a || (a->port == b->port && a->address == b->address));
        };
        return text0 == o.text0 && text1 == o.text1 && text2 == o.text2 && text8 == o.text8 &&
               mode == o.mode && targetId == o.targetId && sameConn(connection, o.connection) &&
               network == o.network && ap == o.ap && param.flags == o.param.flags &&
               param.netMask == o.param.netMask && param.ipAddress == o.param.ipAddress &&
               param.value4 == o.param.value4 && apRecord.ipAddress == o.apRecord.ipAddress &&
               apRecord.port == o.apRecord.port && apRecord.ssid == o.apRecord.ssid;
    }
};

ReaderResults readAll(const ReplyState& s) {
    ReaderResults r;
    r.text0 = ReplyText(s, 0);
    r.text1 = ReplyText(s, 1);
    r.text2 = ReplyText(s, 2);
    r.text8 = ReplyText(s, 8);
    r.mode = ReadIfbMode(s);
    r.targetId = ReadTargetId(s);
    r.connection = ReadApConnection(s);
    r.network = ReadNetworkBlock(s, r.param);
    r.ap = ReadApInfo(s, r.apRecord);
    return r;
}

}  // namespace

TEST(LinkStream, RandomStreamMatchesTheModelAndReadersStayInsideTheFrame) {
    std::mt19937 rng(20240517);
    const QByteArray stream = randomStream(rng, 3 * 1024 * 1024);

    // Model: byte by byte, decoding every accepted frame; readers checked with
    // two different fillings of ReplyBuffer past the frame.
    ModelAssembler model;
    ReplyState modelState;
    QStringList modelLines;
    const TraceFn modelTrace = [&](const QString& l) { modelLines.append(l); };
    size_t seen = 0;
    int copies = 0;
    for (char c : stream) {
        model.feed(static_cast<quint8>(c));
        for (; seen < model.accepted.size(); ++seen) {
            const QByteArray& f = model.accepted[seen];
            modelState.ReplyCopied = false;
            DecodeReply(u8(f), static_cast<int>(f.size()), modelState, modelTrace);
            if (!modelState.ReplyCopied) continue;
            ++copies;
            ReplyState low = modelState, high = modelState;
            for (size_t i = static_cast<size_t>(f.size()); i < 262; ++i) {
                EXPECT_EQ(modelState.ReplyBuffer[i], 0);
                high.ReplyBuffer[i] = 0xFF;
            }
            ASSERT_TRUE(readAll(low) == readAll(high)) << "a reader looked past " << f.toHex(' ').constData();
        }
    }
    ASSERT_GT(model.accepted.size(), 10000u);
    ASSERT_GT(model.rejected.size(), 3000u);
    ASSERT_GT(copies, 3000);

    // The link's receive path: random deliveries, polls in between.
    ReplyState state;
    RecordingEvents events;
    LinkReceiver rx(state, events);
    QStringList boxes;
    int pos = 0;
    while (pos < stream.size()) {
        const int n = std::min(1 + static_cast<int>(rng() % 3000u), static_cast<int>(stream.size()) - pos);
        ASSERT_EQ(rx.Deliver(u8(stream) + pos, n), 0);
        pos += n;
        if (rng() % 3u != 0) rx.PollReceive();
    }
    rx.PollReceive();

    QStringList wantBoxes;
    for (const QByteArray& r : model.rejected) wantBoxes.append(QStringLiteral("SUM EEROR: ") + HexForm(r));
    EXPECT_EQ(events.boxes, wantBoxes);
    QStringList linkLines = events.lines;
    linkLines.removeAll(QStringLiteral("SUM EEROR"));
    EXPECT_TRUE(linkLines == modelLines) << linkLines.size() << " vs " << modelLines.size();
    EXPECT_EQ(state.ReplyKind, modelState.ReplyKind);
    EXPECT_EQ(state.ReplyBuffer, modelState.ReplyBuffer);
    EXPECT_EQ(state.OtaResultReceived, modelState.OtaResultReceived);
    EXPECT_EQ(state.OtaResultOk, modelState.OtaResultOk);
}
