// The picture source with real files, a real event loop and real threads; the
// ThreadSanitizer build of ./test.sh runs these tests too.
#include "CPictureSource.h"

#include "exif.h"
#include "jpegfixtures.h"
#include "viewdecode.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <random>
#include <thread>
#include <vector>

using namespace jpegfix;

namespace {

// Everything the sink hears, in order.
class CCollector : public CPictureSink {
public:
    void pictureIdentified(RequestId id, const std::string&, const SPictureFacts& facts) override {
        mFacts[id] = facts;
        mFactsBeforeEnd[id] = mEnds[id] == 0;
    }
    void pictureFinished(const SPictureResult& result) override {
        ++mEnds[result.mId];
        mResults.push_back(result);
    }
    const SPictureResult* result(RequestId id) const {
        for (const SPictureResult& r : mResults)
            if (r.mId == id)
                return &r;
        return nullptr;
    }
    bool ended(RequestId id) const { return result(id) != nullptr; }

    std::map<RequestId, SPictureFacts> mFacts;
    std::map<RequestId, bool> mFactsBeforeEnd;
    std::map<RequestId, int> mEnds;
    std::vector<SPictureResult> mResults;
};

// Turns the event loop until done() or the time is up; says whether done() came true.
bool turnEventsUntil(const std::function<bool()>& done, int milliseconds = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void turnEventsFor(int milliseconds) {
    turnEventsUntil([] { return false; }, milliseconds);
}

// Gradients with noise: compresses and decodes like a photograph, and is made fast.
Bytes photo(int width, int height) {
    uint32_t noise = 12345;
    return encodeSamples(width, height, JCS_RGB, 3, [&](int x, int y, unsigned char* out) {
        for (int c = 0; c < 3; ++c) {
            noise = noise * 1664525u + 1013904223u;
            out[c] =
                JSAMPLE((unsigned(x) * 200 / unsigned(width) + unsigned(y) * 50 / unsigned(height) +
                         60 * unsigned(c) + (noise >> 28)) &
                        255);
        }
    });
}

Bytes flat(int width, int height) {
    SJpegFixture picture;
    picture.mWidth = width;
    picture.mHeight = height;
    return encodeJpeg(picture);
}

constexpr int kNoLimit = 100000;

class Source : public testing::Test {
protected:
    void SetUp() override { mSource.setSink(&mGot); }
    std::string write(const std::string& name, const Bytes& bytes) {
        return mDir.write(name, bytes);
    }
    // A picture whose decode takes a good while (a few hundred milliseconds); made once.
    std::string slowPicture(const std::string& name = "slow.jpg") {
        return write(name, photo(4800, 3600));
    }
    // How long a decode of path takes on this machine, to act in its middle.
    static qint64 decodeMillis(const std::string& path) {
        QElapsedTimer timer;
        timer.start();
        decodeForView(SViewDecode{path, EViewPicture::Left, 0, kNoLimit}, nullptr);
        return timer.elapsed();
    }
    bool startedAtLeast(int n) {
        return turnEventsUntil([&] { return mSource.counts().started >= n; });
    }

    CTempDir mDir;
    CCollector mGot;
    CPictureSource mSource;
};

}  // namespace

TEST_F(Source, TellsWhatTheFileIsThenDeliversOrSaysWhyNot) {
    SJpegFixture first;
    first.mWidth = 64;
    first.mHeight = 48;
    first.mSegments.push_back({0xE1, exifPayloadWithThumbnail(flat(16, 12))});
    const SMpo mpo = buildMpo(encodeJpeg(first), flat(64, 48), SMpoFixture());
    const std::string pair = write("pair.mpo", mpo.mBytes);
    const std::string missing = mDir.path("missing.jpg");
    const std::string text = write("notes.jpg", Bytes{'h', 'e', 'l', 'l', 'o'});
    const std::string odd = write("caf\xe9-\xff.jpg", flat(20, 10));

    const RequestId left = mSource.request(pair, EPicturePart::Left, EPriority::Current, 4416);
    const RequestId right = mSource.request(pair, EPicturePart::Right, EPriority::Current, 4416);
    const RequestId gone = mSource.request(missing, EPicturePart::Left, EPriority::Current, 4416);
    const RequestId junk = mSource.request(text, EPicturePart::Left, EPriority::Current, 4416);
    const RequestId name = mSource.request(odd, EPicturePart::Left, EPriority::Current, 4416);
    // Above its size limit: shrunk while it decodes, on a thread of its own.
    const RequestId shrunk = mSource.request(pair, EPicturePart::Right, EPriority::Current, 32);
    ASSERT_TRUE(turnEventsUntil([&] { return mGot.mResults.size() == 6; }));

    // The left request says what the file is before its picture comes.
    ASSERT_TRUE(mGot.mFacts.count(left));
    EXPECT_TRUE(mGot.mFactsBeforeEnd[left]);
    EXPECT_EQ(mGot.mFacts[left].mKind.mKind, EPictureKind::Mpo);
    ASSERT_NE(mGot.mFacts[left].mThumbnail, nullptr);
    EXPECT_EQ(mGot.mFacts[left].mThumbnail->mWidth, 16);
    EXPECT_EQ(mGot.result(left)->mOutcome, EOutcome::Delivered);
    EXPECT_EQ(mGot.result(left)->mImage->mWidth, 64);
    EXPECT_EQ(mGot.result(right)->mOutcome, EOutcome::Delivered);
    EXPECT_EQ(mGot.mFacts.count(right), 0u) << "only left requests tell what a file is";
    EXPECT_EQ(mGot.result(shrunk)->mImage->mWidth, 32);
    EXPECT_EQ(mGot.result(shrunk)->mImage->mHeight, 24);

    EXPECT_EQ(mGot.result(gone)->mOutcome, EOutcome::Failed);
    EXPECT_EQ(mGot.result(gone)->mReason, "cannot read: No such file or directory");
    EXPECT_EQ(mGot.result(junk)->mOutcome, EOutcome::Failed);
    EXPECT_EQ(mGot.result(junk)->mReason, "cannot read: not a JPEG, PNG or MPO file");
    EXPECT_EQ(mGot.mFacts[junk].mKind.mKind, EPictureKind::Unreadable);
    // Names travel as bytes: one that is not UTF-8 opens and comes back unchanged.
    EXPECT_EQ(mGot.result(name)->mFile, odd);
    EXPECT_EQ(mGot.result(name)->mImage->mWidth, 20);
}

// The view's way: a new current picture with each step, the previous one cancelled.
// However the steps fall against the decodes, each request ends exactly once, and the
// last picture arrives.
TEST_F(Source, EveryRequestEndsOnceThroughABurstOfSteps) {
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i)
        files.push_back(write("p" + std::to_string(i) + ".jpg", photo(400 + 40 * i, 300)));
    std::mt19937 random(7);
    std::vector<RequestId> ids;
    RequestId previous = 0;
    for (int step = 0; step < 300; ++step) {
        const std::string& file = files[random() % files.size()];
        const EPriority priority = random() % 4 ? EPriority::Current : EPriority::ReadAhead;
        const RequestId id = mSource.request(file, EPicturePart::Left, priority, 4416);
        ids.push_back(id);
        if (previous && random() % 3)
            mSource.cancel(previous);
        if (random() % 5 == 0)
            mSource.setPriority(id, random() % 2 ? EPriority::Current : EPriority::ReadAhead);
        previous = id;
        if (step % 10 == 0)
            QCoreApplication::processEvents();
        if (step % 37 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    mSource.setPriority(previous, EPriority::Current);
    ASSERT_TRUE(
        turnEventsUntil([&] { return mSource.alive() == 0 && mGot.mEnds.size() == ids.size(); }));
    turnEventsFor(100);  // nothing else may follow
    for (RequestId id : ids)
        ASSERT_EQ(mGot.mEnds[id], 1) << "request " << id;
    EXPECT_EQ(mGot.result(previous)->mOutcome, EOutcome::Delivered);
    const CPictureSource::SCounts counts = mSource.counts();
    EXPECT_EQ(counts.delivered + counts.failed + counts.cancelled, int(ids.size()));
    EXPECT_EQ(counts.failed, 0);
    // Cancelled ones mostly never started: far fewer decodes than requests.
    EXPECT_LT(counts.started, int(ids.size()));
}

TEST_F(Source, ReadAheadWaitsForTheCurrentPictureAndGivesWayToIt) {
    const std::string slow = slowPicture();
    const std::string ahead = slowPicture("ahead.jpg");
    const std::string small = write("small.jpg", flat(40, 30));
    // While a current picture decodes, a read-ahead waits: it never takes a core from it.
    const RequestId current =
        mSource.request(slow, EPicturePart::Left, EPriority::Current, kNoLimit);
    const RequestId readAhead =
        mSource.request(ahead, EPicturePart::Left, EPriority::ReadAhead, kNoLimit);
    ASSERT_TRUE(startedAtLeast(1));
    int mostStartedBeforeTheEnd = 0;
    ASSERT_TRUE(turnEventsUntil([&] {
        const CPictureSource::SCounts counts = mSource.counts();
        if (counts.delivered == 0)
            mostStartedBeforeTheEnd = std::max(mostStartedBeforeTheEnd, counts.started);
        return mGot.ended(current);
    }));
    EXPECT_EQ(mostStartedBeforeTheEnd, 1) << "the read-ahead ran beside the current picture";

    // A current request that comes while the read-ahead runs stops it; the read-ahead
    // goes on afterwards and still ends once.
    ASSERT_TRUE(startedAtLeast(2));
    const RequestId next = mSource.request(small, EPicturePart::Left, EPriority::Current, kNoLimit);
    ASSERT_TRUE(turnEventsUntil([&] { return mGot.ended(next) && mGot.ended(readAhead); }));
    EXPECT_EQ(mGot.result(next)->mOutcome, EOutcome::Delivered);
    EXPECT_EQ(mGot.result(readAhead)->mOutcome, EOutcome::Delivered);
    EXPECT_LT(std::find_if(mGot.mResults.begin(), mGot.mResults.end(),
                           [&](const SPictureResult& r) { return r.mId == next; }) -
                  mGot.mResults.begin(),
              std::find_if(mGot.mResults.begin(), mGot.mResults.end(),
                           [&](const SPictureResult& r) { return r.mId == readAhead; }) -
                  mGot.mResults.begin());
    EXPECT_EQ(mSource.counts().stopped, 1);
    EXPECT_EQ(mGot.mEnds[readAhead], 1);
}

TEST_F(Source, AReadAheadThatBecomesCurrentGoesOnWhereItIs) {
    const std::string slow = slowPicture();
    const RequestId id = mSource.request(slow, EPicturePart::Left, EPriority::ReadAhead, kNoLimit);
    ASSERT_TRUE(startedAtLeast(1));
    mSource.setPriority(id, EPriority::Current);
    ASSERT_TRUE(turnEventsUntil([&] { return mGot.ended(id); }));
    EXPECT_EQ(mGot.result(id)->mOutcome, EOutcome::Delivered);
    EXPECT_EQ(mSource.counts().started, 1);
    EXPECT_EQ(mSource.counts().stopped, 0);
}

TEST_F(Source, CancellingARunningDecodeStopsItAtOnce) {
    const std::string slow = slowPicture();
    const qint64 decode = decodeMillis(slow);
    const RequestId id = mSource.request(slow, EPicturePart::Left, EPriority::Current, kNoLimit);
    ASSERT_TRUE(startedAtLeast(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(decode / 5));
    QElapsedTimer timer;
    timer.start();
    mSource.cancel(id);
    ASSERT_TRUE(turnEventsUntil([&] { return mGot.ended(id); }));
    EXPECT_EQ(mGot.result(id)->mOutcome, EOutcome::Cancelled);
    EXPECT_EQ(mGot.result(id)->mImage, nullptr);
    EXPECT_LT(timer.elapsed(), decode / 2) << "decode of " << decode << " ms";
    // A cancel after the end changes nothing.
    mSource.cancel(id);
    turnEventsFor(50);
    EXPECT_EQ(mGot.mEnds[id], 1);
}

TEST(SourceLifetime, GoesQuicklyMidDecodeAndFreesWhatWasNotDelivered) {
    CTempDir dir;
    const std::string slow = dir.write("slow.jpg", photo(4800, 3600));
    const std::string small = dir.write("small.jpg", flat(300, 200));
    QElapsedTimer timer;
    timer.start();
    decodeForView(SViewDecode{slow, EViewPicture::Left, 0, kNoLimit}, nullptr);
    const qint64 decode = timer.elapsed();
    CCollector got;
    auto source = std::make_unique<CPictureSource>();
    source->setSink(&got);
    source->request(small, EPicturePart::Left, EPriority::Current, kNoLimit);
    // Delivered but not yet handed over: the event loop does not turn here.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (source->counts().delivered == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    source->request(slow, EPicturePart::Left, EPriority::Current, kNoLimit);
    while (source->counts().started < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(decode / 5));
    // The slow decode stops where it is; the leak check at exit finds the small
    // picture's pixels if its undelivered result kept them.
    timer.restart();
    source.reset();
    EXPECT_LT(timer.elapsed(), decode / 2) << "decode of " << decode << " ms";
    turnEventsFor(50);
    EXPECT_TRUE(got.mResults.empty()) << "nothing is delivered after the source went";
}

// The Exif reader keeps a buffer per thread: the loaders may read at the same time.
TEST_F(Source, ExifReaderOnTwoThreadsAtOnce) {
    SJpegFixture picture;
    picture.mSegments.push_back({0xE1, exifPayloadWithThumbnail(flat(16, 8))});
    const std::string withExif = write("exif.jpg", encodeJpeg(picture));
    const std::string plain = write("plain.jpg", flat(8, 8));
    const SExifInfo first = readExif(withExif), second = readExif(plain);
    ASSERT_NE(first.mThumbnailOffset, -1);
    std::atomic<int> wrong{0};
    auto reader = [&](const std::string& path, const SExifInfo& expected) {
        for (int i = 0; i < 300; ++i) {
            const SExifInfo info = readExif(path);
            wrong += info.mThumbnailOffset != expected.mThumbnailOffset ||
                     info.mDateTime != expected.mDateTime ||
                     info.mOrientation != expected.mOrientation;
        }
    };
    std::thread other(reader, withExif, first);
    reader(plain, second);
    other.join();
    EXPECT_EQ(wrong, 0);
}
