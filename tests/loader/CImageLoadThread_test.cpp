// The background loader with real files, a real event loop and real threads; the
// ThreadSanitizer build of ./test.sh runs these tests too.
#include "CImageLoadThread.h"

#include "exif.h"
#include "jpegfixtures.h"
#include "viewdecode.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>
#include <vector>

using namespace jpegfix;

namespace {

struct SResult {
    QByteArray mFile;
    bool mRight;
    SImageHandle mImage;
};

// Collects what a loader delivers, through a queued call into this thread.
class CCollector {
public:
    explicit CCollector(CImageLoadThread& loader) {
        QObject::connect(&loader, &CImageLoadThread::dataLoaded, &mContext,
                         [this](const QByteArray& file, bool right, SImageHandle image) {
                             mResults.push_back({file, right, image});
                         });
    }
    std::vector<SResult> mResults;

private:
    QObject mContext;
};

// Turns the event loop until done() or the time is up; says whether done() came true.
bool turnEventsUntil(const std::function<bool()>& done, int milliseconds = 20000) {
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

QByteArray bytesOf(const std::string& path) {
    return QByteArray(path.data(), int(path.size()));
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
    SJpegSpec picture;
    picture.mWidth = width;
    picture.mHeight = height;
    return encodeJpeg(picture);
}

class Loader : public testing::Test {
protected:
    std::string write(const std::string& name, const Bytes& bytes) {
        return mDir.write(name, bytes);
    }

    // A picture whose decode takes a good while (a few hundred milliseconds); made once.
    std::string slowPicture() { return write("slow.jpg", photo(4800, 3600)); }

    // How long a decode of path takes on this machine, to act in its middle.
    static qint64 decodeMillis(const std::string& path) {
        QElapsedTimer timer;
        timer.start();
        decodeForView(SViewDecode{path, EViewPicture::Left, 0, 100000}, nullptr);
        return timer.elapsed();
    }

    CTempDir mDir;
    std::shared_ptr<CPixelRecycler> mRecycler = std::make_shared<CPixelRecycler>();
};

}  // namespace

TEST_F(Loader, DeliversThePictureAndTheFailureRecordForAMissingFile) {
    const SMpo mpo = buildMpo(flat(64, 48), flat(32, 24), SMpoSpec());
    const std::string pair = write("pair.mpo", mpo.mBytes);
    const std::string missing = mDir.path("missing.jpg");
    CImageLoadThread loader(mRecycler);
    CCollector got(loader);
    loader.load(pair, true);
    ASSERT_TRUE(turnEventsUntil([&] { return got.mResults.size() == 1; }));
    loader.load(missing, false);
    ASSERT_TRUE(turnEventsUntil([&] { return got.mResults.size() == 2; }));

    EXPECT_EQ(got.mResults[0].mFile, bytesOf(pair));
    EXPECT_TRUE(got.mResults[0].mRight);
    EXPECT_EQ(got.mResults[0].mImage->mWidth, 32);
    EXPECT_EQ(got.mResults[0].mImage->mHeight, 24);
    EXPECT_EQ(got.mResults[0].mImage->mChannels, 3);
    EXPECT_EQ(got.mResults[1].mFile, bytesOf(missing));
    EXPECT_FALSE(got.mResults[1].mRight);
    ASSERT_NE(got.mResults[1].mImage, nullptr);
    EXPECT_EQ(got.mResults[1].mImage->mWidth, -1);
    EXPECT_EQ(got.mResults[1].mImage->mPixels, nullptr);
}

// File names travel as bytes: a name that is not UTF-8 reaches the receiver unchanged.
TEST_F(Loader, ANameThatIsNotUtf8ArrivesByteForByte) {
    const std::string odd = write("caf\xe9-\xff.jpg", flat(20, 10));
    CImageLoadThread loader(mRecycler);
    CCollector got(loader);
    loader.load(odd, false);
    ASSERT_TRUE(turnEventsUntil([&] { return got.mResults.size() == 1; }));
    EXPECT_EQ(got.mResults[0].mFile, bytesOf(odd));
    EXPECT_EQ(got.mResults[0].mImage->mWidth, 20);
}

TEST_F(Loader, OnlyTheLastRequestOfABurstIsDelivered) {
    const std::string slow = slowPicture();
    const qint64 decode = decodeMillis(slow);
    const std::string first = write("first.jpg", flat(24, 8));
    std::vector<std::string> middle;
    for (int i = 0; i < 50; ++i)
        middle.push_back(write("b" + std::to_string(i) + ".jpg", flat(16 + i, 16)));
    const std::string last = write("last.jpg", flat(40, 30));
    CImageLoadThread loader(mRecycler);
    CCollector got(loader);
    // A running worker, busy with the slow picture when the burst comes.
    loader.load(first, false);
    ASSERT_TRUE(turnEventsUntil([&] { return got.mResults.size() == 1; }));
    loader.load(slow, false, 100000);
    std::this_thread::sleep_for(std::chrono::milliseconds(decode / 3));
    for (const std::string& file : middle)
        loader.load(file, false);
    loader.load(last, false);
    ASSERT_TRUE(turnEventsUntil(
        [&] { return !got.mResults.empty() && got.mResults.back().mFile == bytesOf(last); }));
    turnEventsFor(200);  // nothing else may follow
    // The slow picture was overtaken and the middle ones never decoded.
    ASSERT_EQ(got.mResults.size(), 2u) << "decode of " << decode << " ms";
    EXPECT_EQ(got.mResults[0].mFile, bytesOf(first));
    EXPECT_EQ(got.mResults[1].mImage->mWidth, 40);
}

TEST_F(Loader, ThousandsOfRequestsFromTwoThreadsEndWithTheLastOne) {
    std::map<QByteArray, int> widths;
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) {
        files.push_back(write("s" + std::to_string(i) + ".jpg", flat(8 + 8 * i, 8)));
        widths[bytesOf(files.back())] = 8 + 8 * i;
    }
    const SMpo mpo = buildMpo(flat(24, 16), flat(56, 16), SMpoSpec());
    const std::string pair = write("pair.mpo", mpo.mBytes);
    const std::string last = write("last.jpg", flat(72, 8));
    widths[bytesOf(last)] = 72;

    CImageLoadThread loader(mRecycler);
    CCollector got(loader);
    std::atomic<int> running{2};
    std::vector<std::thread> requesters;
    for (int t = 0; t < 2; ++t) {
        requesters.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (i % 7 == 3)
                    loader.load(pair, t == 0);
                else
                    loader.load(files[size_t(i + t) % files.size()], false);
                if (i % 100 == 0)
                    std::this_thread::yield();
            }
            --running;
        });
    }
    // Results arrive while the requests still pour in.
    ASSERT_TRUE(turnEventsUntil([&] { return running == 0; }));
    for (std::thread& thread : requesters)
        thread.join();
    loader.load(last, false);
    ASSERT_TRUE(turnEventsUntil(
        [&] { return !got.mResults.empty() && got.mResults.back().mFile == bytesOf(last); }));
    turnEventsFor(100);
    EXPECT_EQ(got.mResults.back().mFile, bytesOf(last));
    EXPECT_LE(got.mResults.size(), 4001u);
    for (const SResult& result : got.mResults) {
        ASSERT_NE(result.mImage->mPixels, nullptr) << result.mFile.constData();
        const int expected =
            result.mFile == bytesOf(pair) ? (result.mRight ? 56 : 24) : widths[result.mFile];
        EXPECT_EQ(result.mImage->mWidth, expected) << result.mFile.constData();
    }
}

TEST_F(Loader, DestroyingAnIdleOrNeverStartedLoaderReturnsAtOnce) {
    QElapsedTimer timer;
    timer.start();
    { CImageLoadThread never(mRecycler); }
    EXPECT_LT(timer.elapsed(), 500);

    auto idle = std::make_unique<CImageLoadThread>(mRecycler);
    CCollector got(*idle);
    idle->load(write("small.jpg", flat(10, 10)), false);
    ASSERT_TRUE(turnEventsUntil([&] { return got.mResults.size() == 1; }));
    timer.restart();
    idle.reset();  // the worker waits for requests: it must wake and end
    EXPECT_LT(timer.elapsed(), 500);
}

TEST_F(Loader, DestroyingDuringADecodeWaitsForItAndDeliversNothing) {
    const std::string slow = slowPicture();
    const qint64 decode = decodeMillis(slow);
    auto loader = std::make_unique<CImageLoadThread>(mRecycler);
    CCollector got(*loader);
    loader->load(slow, false, 100000);
    std::this_thread::sleep_for(std::chrono::milliseconds(decode / 3));
    loader.reset();
    // The decode ran to its end before the destructor returned, and its pixels went
    // back instead of out.
    EXPECT_EQ(mRecycler->keptBuffers(), 1u) << "decode of " << decode << " ms";
    turnEventsFor(200);
    EXPECT_TRUE(got.mResults.empty());
}

// A queued delivery that Qt throws away (its receiver is gone) still frees the pixels.
TEST_F(Loader, PendingResultsOfAReceiverThatIsGoneAreFreed) {
    CImageLoadThread loader(mRecycler);
    auto receiver = std::make_unique<QObject>();
    int delivered = 0;
    QObject::connect(&loader, &CImageLoadThread::dataLoaded, receiver.get(),
                     [&](const QByteArray&, bool, SImageHandle) { ++delivered; });
    // Called on the worker after the queued call above is posted.
    std::atomic<int> emitted{0};
    QObject::connect(
        &loader, &CImageLoadThread::dataLoaded, &loader,
        [&](const QByteArray&, bool, SImageHandle) { ++emitted; }, Qt::DirectConnection);
    loader.load(write("a.jpg", flat(300, 200)), false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (emitted == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(emitted, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the worker drops its copy
    EXPECT_EQ(mRecycler->keptBuffers(), 0u);                     // the queued call holds it
    receiver.reset();
    EXPECT_EQ(mRecycler->keptBuffers(), 1u);
    turnEventsFor(50);
    EXPECT_EQ(delivered, 0);
}

// The Exif reader keeps a buffer per thread: the window's thread and another one may
// read at the same time.
TEST_F(Loader, ExifReaderOnTwoThreadsAtOnce) {
    SJpegSpec picture;
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
