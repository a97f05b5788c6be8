#include "platform/portal/screenshot_portal.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>
#include <thread>

#include "fake_portal.h"

namespace snapwick::portal {
namespace {

using std::chrono::milliseconds;
using testing::FakePortal;
using testing::PortalAnswer;
using testing::PortalCall;
using testing::PrivateBus;

TEST(PortalResponse, CodesBeyondTheThreeDefinedAreFailures) {
  EXPECT_EQ(OutcomeOf(0), ResponseOutcome::Success);
  EXPECT_EQ(OutcomeOf(1), ResponseOutcome::Cancelled);
  EXPECT_EQ(OutcomeOf(2), ResponseOutcome::Failed);
  EXPECT_EQ(OutcomeOf(3), ResponseOutcome::Failed);
  EXPECT_EQ(OutcomeOf(0xFFFFFFFFu), ResponseOutcome::Failed);
}

TEST(PortalResponse, OnlyASuccessfulAnswerWithALocalFileIsAShot) {
  const QVariantMap file{{QStringLiteral("uri"), QStringLiteral("file:///tmp/Screenshot%20a.png")}};
  const auto taken = ReadScreenshotAnswer(ResponseOutcome::Success, file);
  EXPECT_EQ(taken.outcome, ShotOutcome::Taken);
  EXPECT_EQ(taken.path, QStringLiteral("/tmp/Screenshot a.png"));
  EXPECT_EQ(ReadScreenshotAnswer(ResponseOutcome::Cancelled, file).outcome, ShotOutcome::Cancelled);
  EXPECT_EQ(ReadScreenshotAnswer(ResponseOutcome::Failed, file).outcome, ShotOutcome::Failed);
  EXPECT_EQ(ReadScreenshotAnswer(ResponseOutcome::Success, {}).outcome, ShotOutcome::Failed);
  EXPECT_EQ(ReadScreenshotAnswer(ResponseOutcome::Success,
                                 {{QStringLiteral("uri"), QStringLiteral("https://x/y.png")}})
                .outcome,
            ShotOutcome::Failed);
}

TEST(PortalRequestPaths, TheSenderIsWrittenAsThePortalWritesIt) {
  EXPECT_EQ(SenderElement(QStringLiteral(":1.42")), QStringLiteral("1_42"));
  EXPECT_EQ(SenderElement(QStringLiteral(":1.4.2")), QStringLiteral("1_4_2"));
  EXPECT_NE(NextRequestToken(), NextRequestToken());
}

class ScreenshotPortalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bus_ = std::make_unique<PrivateBus>();
    portal_ = std::make_unique<FakePortal>(bus_->Address());
    // A 3x2 picture with a distinct colour in each pixel.
    QImage image(3, 2, QImage::Format_RGB888);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) image.setPixel(x, y, qRgb(10 + x, 100 + y, 200));
    }
    picture_ = image;
    portal_->SetAnswerer([this](const PortalCall&) -> std::optional<PortalAnswer> {
      std::lock_guard lock(mutex_);
      const QString path = dir_.filePath(QStringLiteral("Screenshot_%1.png").arg(++shots_));
      written_ << path;
      picture_.save(path);
      if (delay_.count() > 0) std::this_thread::sleep_for(delay_);
      if (!answerAtAll_) return std::nullopt;
      return PortalAnswer{code_, {{QStringLiteral("uri"), QUrl::fromLocalFile(path).toString()}}};
    });
    shooter_ = std::make_unique<ScreenshotPortal>(
        [this](std::optional<Frame> frame) {
          ++answers_;
          answer_ = frame;
        },
        bus_->Address());
  }

  void TearDown() override {
    shooter_.reset();
    portal_.reset();
    bus_.reset();
  }

  // Asks, and waits on the event loop for the answer: the frame, or
  // nothing. The answer never comes inside Ask.
  std::optional<Frame> Shoot(milliseconds timeout = milliseconds(5000)) {
    const int before = answers_;
    EXPECT_TRUE(shooter_->Ask(timeout));
    EXPECT_EQ(answers_, before) << "answered inside Ask";
    EXPECT_TRUE(QTest::qWaitFor([&] { return answers_ > before; }, 10000));
    EXPECT_EQ(answers_, before + 1);
    return answer_;
  }

  QStringList Written() {
    std::lock_guard lock(mutex_);
    return written_;
  }

  bool NoneLeft() {
    for (const QString& path : Written()) {
      if (QFile::exists(path)) return false;
    }
    return true;
  }

  std::unique_ptr<PrivateBus> bus_;
  std::unique_ptr<FakePortal> portal_;
  std::unique_ptr<ScreenshotPortal> shooter_;
  QTemporaryDir dir_;
  std::mutex mutex_;
  QImage picture_;
  QStringList written_;
  int shots_ = 0;
  uint code_ = 0;
  bool answerAtAll_ = true;
  milliseconds delay_{0};
  int answers_ = 0;
  std::optional<Frame> answer_;
};

TEST_F(ScreenshotPortalTest, TheFileBecomesAFrameAndIsRemoved) {
  const auto frame = Shoot();
  ASSERT_TRUE(frame) << static_cast<int>(shooter_->LastOutcome());
  EXPECT_EQ(shooter_->LastOutcome(), ShotOutcome::Taken);
  EXPECT_EQ(frame->width, 3);
  EXPECT_EQ(frame->height, 2);
  EXPECT_EQ(frame->layout, PixelLayout::Bgrx);
  EXPECT_FALSE(frame->bottomUp);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const std::uint8_t* p = frame->pixels + y * frame->stride + x * 4;
      EXPECT_EQ(p[0], 200);
      EXPECT_EQ(p[1], 100 + y);
      EXPECT_EQ(p[2], 10 + x);
    }
  }
  ASSERT_EQ(Written().size(), 1);
  EXPECT_FALSE(QFile::exists(Written()[0]));
  EXPECT_FALSE(shooter_->InFlight());
  const auto call = portal_->CallsOf(QStringLiteral("Screenshot"));
  ASSERT_EQ(call.size(), 1u);
  EXPECT_EQ(call[0].Options().value(QStringLiteral("interactive")).toBool(), false);
}

TEST_F(ScreenshotPortalTest, AFrameStaysValidUntilTheNextAsk) {
  const auto first = Shoot();
  ASSERT_TRUE(first);
  const std::uint8_t firstPixel = first->pixels[2];
  {
    std::lock_guard lock(mutex_);
    picture_.fill(qRgb(1, 2, 3));
  }
  // A request that fails leaves the last frame alone as well.
  code_ = 2;
  EXPECT_FALSE(Shoot());
  EXPECT_EQ(first->pixels[2], firstPixel);
  code_ = 0;
  const auto second = Shoot();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->pixels[2], 1);
}

TEST_F(ScreenshotPortalTest, TheDesktopsRefusalsAreToldAsNothing) {
  code_ = 1;
  EXPECT_FALSE(Shoot());
  EXPECT_EQ(shooter_->LastOutcome(), ShotOutcome::Cancelled);
  code_ = 2;
  EXPECT_FALSE(Shoot());
  EXPECT_EQ(shooter_->LastOutcome(), ShotOutcome::Failed);
}

// A slow desktop: nothing is told when the time is up, nothing more is
// asked until it answers, and its late file goes.
TEST_F(ScreenshotPortalTest, NoAnswerInTimeIsToldAsNothingAndTheLateFileIsStillRemoved) {
  delay_ = milliseconds(400);
  EXPECT_FALSE(Shoot(milliseconds(50)));
  EXPECT_EQ(shooter_->LastOutcome(), ShotOutcome::TimedOut);
  EXPECT_TRUE(shooter_->InFlight());
  EXPECT_FALSE(shooter_->Ask(milliseconds(5000)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !shooter_->InFlight(); }, 5000));
  delay_ = milliseconds(0);
  // The next request gets its own picture, not the late one.
  ASSERT_TRUE(Shoot());
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("Screenshot")).size(), 2u);
  ASSERT_EQ(Written().size(), 2);
  EXPECT_TRUE(QTest::qWaitFor([this] { return NoneLeft(); }, 5000));
}

TEST_F(ScreenshotPortalTest, QuittingWithARequestInFlightLeavesNoFile) {
  delay_ = milliseconds(300);
  ASSERT_TRUE(shooter_->Ask(milliseconds(5000)));
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Written().isEmpty(); }, 5000));
  shooter_.reset();
  EXPECT_TRUE(NoneLeft());
  EXPECT_EQ(answers_, 0);
}

// A front end that never answers, and then leaves the bus (it crashed):
// its request is over, and the next one is asked.
TEST_F(ScreenshotPortalTest, ARequestNeverAnsweredEndsWithThePortal) {
  answerAtAll_ = false;
  EXPECT_FALSE(Shoot(milliseconds(100)));
  EXPECT_EQ(shooter_->LastOutcome(), ShotOutcome::TimedOut);
  EXPECT_FALSE(shooter_->Ask(milliseconds(100)));
  portal_.reset();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !shooter_->InFlight(); }, 5000));
  EXPECT_FALSE(Shoot());
  EXPECT_EQ(shooter_->LastOutcome(), ShotOutcome::Failed);
}

TEST(ScreenshotFrames, AnyLoadedPictureIsHandedOverAsBgrx) {
  QImage gray(4, 1, QImage::Format_Grayscale8);
  gray.fill(77);
  const auto frame = FrameOf(gray);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixels[0], 77);
  EXPECT_EQ(frame->pixels[2], 77);
  EXPECT_GE(frame->stride, 16);
  QImage none;
  EXPECT_FALSE(FrameOf(none));
}

}  // namespace
}  // namespace snapwick::portal
