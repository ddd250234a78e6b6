// Display images: their conversion to ARGB pixels, and their way from the
// caller's thread into the canvas.
#include <QGraphicsPixmapItem>
#include <QGraphicsView>
#include <QtTest>

#include <thread>
#include <vector>

#include "Graphicsscene.h"
#include "MatToQImage.h"
#include "viewer.h"

class HandOverTest : public QObject {
  Q_OBJECT

 private slots:
  void firstPixelConverts_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<int>>("samples");
    QTest::addColumn<uint>("argb");
    QTest::newRow("grey") << CV_8UC1 << QList<int>{200} << 0xFFC8C8C8u;
    QTest::newRow("grey and alpha") << CV_8UC2 << QList<int>{200, 7} << 0x07C8C8C8u;
    QTest::newRow("blue green red") << CV_8UC3 << QList<int>{10, 20, 30} << 0xFF1E140Au;
    QTest::newRow("blue green red alpha") << CV_8UC4 << QList<int>{1, 2, 3, 4} << 0x04030201u;
    QTest::newRow("16 bit") << CV_16UC3 << QList<int>{0, 257 * 20, 65535} << 0xFFFF1400u;
  }

  void firstPixelConverts() {
    QFETCH(int, type);
    QFETCH(QList<int>, samples);
    QFETCH(uint, argb);
    cv::Scalar value;
    for (int i = 0; i < samples.size(); ++i) value[i] = samples[i];
    const cv::Mat image(2, 3, type, value);
    const QImage converted = matToQImage(image);
    QCOMPARE(converted.format(), QImage::Format_ARGB32);
    QCOMPARE(converted.size(), QSize(3, 2));
    QCOMPARE(converted.pixel(0, 0), QRgb(argb));
    QCOMPARE(converted.pixel(2, 1), QRgb(argb));
  }

  // Rows of 7 pixels stored 26 bytes apart (5 bytes of padding that must be
  // skipped), and a view into the middle of a larger image.
  void rowStrideIsHonoured() {
    const int width = 7, height = 4, step = width * 3 + 5;
    std::vector<uchar> buffer(step * height, 0xEE);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) buffer[y * step + 3 * x + c] = uchar(10 * y + x + 100 * c);
    const cv::Mat padded(height, width, CV_8UC3, buffer.data(), step);
    const QImage converted = matToQImage(padded);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        QCOMPARE(converted.pixel(x, y), qRgb(10 * y + x + 200, 10 * y + x + 100, 10 * y + x));

    cv::Mat large(10, 10, CV_8UC1, cv::Scalar(0));
    large.at<uchar>(4, 3) = 77;
    const QImage view = matToQImage(large(cv::Rect(3, 4, 2, 2)));
    QCOMPARE(view.size(), QSize(2, 2));
    QCOMPARE(view.pixel(0, 0), qRgb(77, 77, 77));
    QCOMPARE(view.pixel(1, 1), qRgb(0, 0, 0));
  }

  void unsupportedImagesGiveNullImage() {
    QVERIFY(matToQImage(cv::Mat()).isNull());
    QVERIFY(matToQImage(cv::Mat(2, 2, CV_8UC(5))).isNull());
  }

  void drawOnGuiThreadShowsOnePixmapAtOnce() {
    viewer window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* canvas = window.findChild<QGraphicsView*>("canvas");
    for (int i = 0; i < 3; ++i) {
      window.drawImage(cv::Mat(30, 40, CV_8UC3, cv::Scalar(i, 0, 0)));
      QCOMPARE(window.currentFrame().pixel(0, 0), qRgb(0, 0, i));  // drawn inside the call
    }
    QCOMPARE(canvas->scene(), window.canvasScene());
    const QList<QGraphicsItem*> items = window.canvasScene()->items();
    QCOMPARE(items.size(), 1);
    auto* pixmap = qgraphicsitem_cast<QGraphicsPixmapItem*>(items.front());
    QVERIFY(pixmap != nullptr);
    QCOMPARE(pixmap->pixmap().size(), QSize(40, 30));
    QCOMPARE(pixmap->pos(), QPointF(0, 0));
    QCOMPARE(window.canvasScene()->sceneRect(), QRectF(canvas->rect()));
  }

  // A worker hands over images and scribbles over (and finally frees) its
  // own image right after each call; the GUI thread must draw every image in
  // order, as it was at the time of the call.
  void handOverFromWorkerKeepsOrderAndContent() {
    viewer window;
    std::vector<QRgb> drawn;
    // Queued after the window's own connection, so it runs right after each
    // reDraw.
    connect(&window, &viewer::newImage, this,
            [&](const cv::Mat&) { drawn.push_back(window.currentFrame().pixel(1, 1)); });

    const int count = 20;
    std::thread worker([&] {
      cv::Mat image(8, 8, CV_8UC3);
      for (int i = 0; i < count; ++i) {
        image.setTo(cv::Scalar(i, 2 * i, 3 * i));
        window.drawImage(image);
        image.setTo(cv::Scalar(255, 255, 255));
      }
      image.release();
    });
    worker.join();
    QVERIFY(drawn.empty());  // nothing is drawn in the worker

    QTRY_COMPARE(int(drawn.size()), count);
    for (int i = 0; i < count; ++i) QCOMPARE(drawn[i], qRgb(3 * i, 2 * i, i));
    QCOMPARE(window.canvasScene()->items().size(), 1);
  }
};

QTEST_MAIN(HandOverTest)
#include "HandOverTest.moc"
