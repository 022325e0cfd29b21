#include "engine/frame_reader.h"
#include "engine/protocol.h"

#include <QTest>

#include <string>
#include <vector>

using engine::FrameReader;
using engine::FrameView;

namespace {

struct Got {
    std::uint8_t type;
    std::string payload;
    bool nullPayload;
};

std::vector<std::uint8_t> Frame(std::uint8_t type, const std::string &payload)
{
    const auto h = engine::FrameHeader(type, static_cast<std::uint32_t>(payload.size()));
    std::vector<std::uint8_t> f(h.size() + payload.size());
    std::copy(h.begin(), h.end(), f.begin());
    std::copy(payload.begin(), payload.end(), f.begin() + h.size());
    return f;
}

std::vector<std::uint8_t> Stream()
{
    std::vector<std::uint8_t> s;
    for (const auto &f :
         {Frame(14, std::string(24, 'a')), Frame(8, ""), Frame(200, "xyz"), Frame(15, std::string(24, 'b'))})
        s.insert(s.end(), f.begin(), f.end());
    return s;
}

const std::vector<Got> kExpected = {
    {14, std::string(24, 'a'), false}, {8, "", true}, {200, "xyz", false}, {15, std::string(24, 'b'), false}};

} // namespace

class TstFrameReader : public QObject {
    Q_OBJECT

    std::vector<Got> FeedPieces(FrameReader &r, const std::vector<std::uint8_t> &s,
                                const std::vector<std::size_t> &cuts)
    {
        std::vector<Got> got;
        auto h = [&](const FrameView &f) {
            got.push_back({f.type, std::string(reinterpret_cast<const char *>(f.payload), f.payload ? f.length : 0),
                           f.payload == nullptr});
        };
        std::size_t at = 0;
        for (std::size_t cut : cuts) {
            r.Feed(s.data() + at, cut - at, h);
            at = cut;
        }
        r.Feed(s.data() + at, s.size() - at, h);
        return got;
    }

    static void Compare(const std::vector<Got> &got, const std::vector<Got> &want)
    {
        QCOMPARE(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].type, want[i].type);
            QCOMPARE(got[i].payload, want[i].payload);
            QCOMPARE(got[i].nullPayload, want[i].nullPayload);
        }
    }

private slots:
    // Every frame comes out once and in order wherever the reads are cut: one cut and
    // every pair of cuts (a header split in two, a frame over three reads, two frames in one).
    void everyBoundary()
    {
        const auto s = Stream();
        for (std::size_t a = 0; a <= s.size(); ++a) {
            for (std::size_t b = a; b <= s.size(); ++b) {
                FrameReader r;
                Compare(FeedPieces(r, s, {a, b}), kExpected);
                QCOMPARE(r.Buffered(), std::size_t(0));
            }
        }
    }

    void byteByByte()
    {
        const auto s = Stream();
        std::vector<std::size_t> cuts;
        for (std::size_t i = 1; i < s.size(); ++i)
            cuts.push_back(i);
        FrameReader r;
        Compare(FeedPieces(r, s, cuts), kExpected);
    }

    void partialHeaderIsKept()
    {
        const auto f = Frame(5, "");
        FrameReader r;
        int calls = 0;
        r.Feed(f.data(), 3, [&](const FrameView &) { ++calls; });
        QCOMPARE(calls, 0);
        QCOMPARE(r.Buffered(), std::size_t(3));
        r.Feed(f.data() + 3, 2, [&](const FrameView &v) {
            ++calls;
            QCOMPARE(v.type, std::uint8_t(5));
            QCOMPARE(v.length, 0u);
        });
        QCOMPARE(calls, 1);
    }

    // A length beyond the cap is skipped without being stored, and the stream stays in step.
    void oversizedIsSkipped_data()
    {
        QTest::addColumn<bool>("split");
        QTest::newRow("one write") << false;
        QTest::newRow("byte by byte") << true;
    }
    void oversizedIsSkipped()
    {
        QFETCH(bool, split);
        std::vector<std::uint8_t> s = Frame(4, std::string(100, 'z'));
        const auto tail = Frame(14, std::string(24, 'q'));
        s.insert(s.end(), tail.begin(), tail.end());
        FrameReader r(64);
        std::vector<std::size_t> cuts;
        if (split)
            for (std::size_t i = 1; i < s.size(); ++i)
                cuts.push_back(i);
        std::size_t maxHeld = 0;
        std::vector<Got> got;
        std::size_t at = 0;
        cuts.push_back(s.size());
        for (std::size_t cut : cuts) {
            r.Feed(s.data() + at, cut - at, [&](const FrameView &f) {
                got.push_back({f.type, std::string(reinterpret_cast<const char *>(f.payload), f.length), false});
            });
            maxHeld = std::max(maxHeld, r.Buffered());
            at = cut;
        }
        Compare(got, {{14, std::string(24, 'q'), false}});
        QCOMPARE(r.OversizedCount(), std::uint64_t(1));
        QVERIFY(maxHeld <= 5 + 64);
    }

    // A peer announcing 4 GiB and trickling bytes cannot make the reader hold them.
    void hugeLengthHoldsNothing()
    {
        FrameReader r;
        const auto h = engine::FrameHeader(4, 0xFFFFFFFFu);
        int calls = 0;
        r.Feed(h.data(), h.size(), [&](const FrameView &) { ++calls; });
        std::vector<std::uint8_t> junk(1 << 20, 0x41);
        for (int i = 0; i < 8; ++i)
            r.Feed(junk.data(), junk.size(), [&](const FrameView &) { ++calls; });
        QCOMPARE(calls, 0);
        QCOMPARE(r.Buffered(), std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(TstFrameReader)
#include "tst_frame_reader.moc"
