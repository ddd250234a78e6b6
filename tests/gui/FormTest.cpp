// The window as built from its form: names, texts, grid positions, spacers,
// menu and the initial states the constructor sets.
#include <QAction>
#include <QGraphicsView>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMap>
#include <QMetaMethod>
#include <QPushButton>
#include <QSlider>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTextBrowser>
#include <QtTest>

#include <memory>

#include "viewer.h"

class FormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<viewer> window;
  QGridLayout* grid() const {
    return window->findChild<QWidget*>("centralwidget")->findChild<QGridLayout*>("gridLayout");
  }

 private slots:
  void init() { window = std::make_unique<viewer>(); }
  void cleanup() { window.reset(); }

  void windowHasTitleSizeAndName() {
    QCOMPARE(window->objectName(), QString("ViewerMain"));
    QCOMPARE(window->windowTitle(), QString("MainWindow"));
    QCOMPARE(window->size(), QSize(1090, 697));
    QVERIFY(window->isAnimated());
    QVERIFY(window->isEnabled());
    QVERIFY(window->centralWidget() == window->findChild<QWidget*>("centralwidget"));
  }

  void widgetSitsInGrid_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, const char* cls, int r, int c, int rs, int cs, QString text) {
      QTest::newRow(name) << QString(name) << QString(cls) << r << c << rs << cs << text;
    };
    row("canvas", "QGraphicsView", 0, 0, 6, 3, QString());
    row("infoBox", "QTextBrowser", 0, 4, 1, 2, QString());
    row("label_5", "QLabel", 1, 4, 1, 1, "Panorama Information");
    row("horizontalSlider_Trans", "QSlider", 3, 4, 1, 2, QString());
    row("label_3", "QLabel", 4, 4, 1, 1, "Transparenz");
    row("horizontalSlider_Repr", "QSlider", 5, 4, 1, 2, QString());
    row("label_4", "QLabel", 6, 4, 1, 1, QString::fromUtf8("Repr\xc3\xa4sentation"));
    row("label_audio", "QLabel", 8, 0, 1, 2, "");
    row("label_2", "QLabel", 9, 0, 1, 1, "Current Audio Path");
    row("pushButton_start", "QPushButton", 9, 5, 3, 1, "START");
    row("label_xml", "QLabel", 10, 0, 1, 2, "");
    row("label", "QLabel", 11, 0, 1, 1, "Current XML Path");
    row("statusLabel", "QLabel", 12, 0, 1, 2, "");
    row("horizontalSlider_Threshold", "QSlider", 10, 4, 1, 1, QString());
    row("label_threshold", "QLabel", 11, 4, 1, 1, "Schwelle");
  }

  void widgetSitsInGrid() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, text);

    QWidget* widget = window->findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(QString(widget->metaObject()->className()), className);
    const int index = grid()->indexOf(widget);
    QVERIFY(index >= 0);
    int r, c, rs, cs;
    grid()->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(QList<int>({r, c, rs, cs}), QList<int>({row, column, rows, columns}));
    if (auto* label = qobject_cast<QLabel*>(widget)) QCOMPARE(label->text(), text);
    if (auto* button = qobject_cast<QPushButton*>(widget)) QCOMPARE(button->text(), text);
  }

  void spacersFillTheirCells_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    using P = QSizePolicy;
    QTest::newRow("2,4") << 2 << 4 << QSize(20, 40) << int(P::Minimum) << int(P::Expanding);
    QTest::newRow("6,0") << 6 << 0 << QSize(20, 10) << int(P::Minimum) << int(P::Preferred);
    QTest::newRow("9,4") << 9 << 4 << QSize(0, 20) << int(P::Maximum) << int(P::Minimum);
    QTest::newRow("9,2") << 9 << 2 << QSize(40, 20) << int(P::Expanding) << int(P::Minimum);
    QTest::newRow("9,1") << 9 << 1 << QSize(40, 20) << int(P::Expanding) << int(P::Minimum);
    QTest::newRow("9,6") << 9 << 6 << QSize(40, 20) << int(P::Minimum) << int(P::Minimum);
    QTest::newRow("0,3") << 0 << 3 << QSize(40, 20) << int(P::Minimum) << int(P::Minimum);
  }

  void spacersFillTheirCells() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QSize, size);
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QSpacerItem* spacer = grid()->itemAtPosition(row, column)->spacerItem();
    QVERIFY(spacer != nullptr);
    QCOMPARE(spacer->sizeHint(), size);
    QCOMPARE(int(spacer->sizePolicy().horizontalPolicy()), horizontal);
    QCOMPARE(int(spacer->sizePolicy().verticalPolicy()), vertical);
  }

  void gridHoldsNothingElse() {
    QCOMPARE(grid()->count(), 15 + 7);
  }

  // The sound map's widgets took free cells: hiding them (a hidden widget
  // takes no room in a layout) moves none of the others.
  void newWidgetsLeaveTheOthersWhereTheyWere() {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QStringList added = {"horizontalSlider_Threshold", "label_threshold", "pointerLabel"};
    auto places = [&] {
      QMap<QString, QRect> rects;
      for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->objectName().isEmpty() && !added.contains(widget->objectName())) {
          rects[widget->objectName()] = QRect(widget->mapTo(window.get(), QPoint()), widget->size());
        }
      }
      return rects;
    };
    const QMap<QString, QRect> withThem = places();
    for (const QString& name : added) window->findChild<QWidget*>(name)->hide();
    window->centralWidget()->layout()->activate();
    window->statusBar()->layout()->activate();
    QCoreApplication::processEvents();
    const QMap<QString, QRect> without = places();
    QCOMPARE(withThem.keys(), without.keys());
    for (const QString& name : without.keys()) QCOMPARE(withThem[name], without[name]);
    QCOMPARE(window->size(), QSize(1090, 697));
  }

  void canvasNeverScrollsAndExpands() {
    auto* canvas = window->findChild<QGraphicsView*>("canvas");
    QCOMPARE(canvas->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(canvas->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(canvas->sizePolicy().horizontalPolicy(), QSizePolicy::MinimumExpanding);
    QCOMPARE(canvas->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(canvas->sizePolicy().horizontalStretch(), 0);
    QCOMPARE(canvas->sizePolicy().verticalStretch(), 0);
    QVERIFY(canvas->scene() == nullptr);  // no scene until the first image
  }

  void labelsAndButtonHaveTheirFrames() {
    for (const char* name : {"label_audio", "label_xml"}) {
      auto* label = window->findChild<QLabel*>(name);
      QCOMPARE(label->frameShape(), QFrame::StyledPanel);
      QCOMPARE(label->frameShadow(), QFrame::Sunken);
    }
    auto* label3 = window->findChild<QLabel*>("label_3");
    QCOMPARE(label3->frameShape(), QFrame::NoFrame);
    QCOMPARE(label3->frameShadow(), QFrame::Plain);
    QCOMPARE(window->findChild<QPushButton*>("pushButton_start")->minimumSize(), QSize(120, 80));
  }

  void slidersStartDisabledWithTheirRanges() {
    auto* trans = window->findChild<QSlider*>("horizontalSlider_Trans");
    auto* repr = window->findChild<QSlider*>("horizontalSlider_Repr");
    auto* threshold = window->findChild<QSlider*>("horizontalSlider_Threshold");
    QVERIFY(!trans->isEnabled());
    QVERIFY(!repr->isEnabled());
    QVERIFY(!threshold->isEnabled());
    QCOMPARE(threshold->orientation(), Qt::Horizontal);
    QCOMPARE(threshold->minimum(), 0);
    QCOMPARE(threshold->maximum(), 99);
    QCOMPARE(threshold->value(), 0);
    QCOMPARE(trans->orientation(), Qt::Horizontal);
    QCOMPARE(repr->orientation(), Qt::Horizontal);
    QCOMPARE(trans->minimum(), 0);
    QCOMPARE(trans->maximum(), 100);
    QCOMPARE(trans->value(), 0);
    QCOMPARE(repr->minimum(), 0);
    QCOMPARE(repr->maximum(), 99);
    QCOMPARE(repr->value(), 0);
    QVERIFY(!trans->hasMouseTracking());
    QVERIFY(!trans->acceptDrops());
    QVERIFY(!trans->invertedAppearance());
    QCOMPARE(window->getTransMaximum(), 100);
  }

  void fileMenuHoldsBothActionsInOrder() {
    auto* menubar = window->findChild<QMenuBar*>("menubar");
    QVERIFY(menubar != nullptr);
    QVERIFY(window->menuBar() == menubar);
    auto* menu = menubar->findChild<QMenu*>("menuFile");
    QCOMPARE(menu->title(), QString("File"));
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 7);
    QCOMPARE(actions[0]->objectName(), QString("actionOpen_XML"));
    QCOMPARE(actions[0]->text(), QString("open XML"));
    QCOMPARE(actions[1]->objectName(), QString("actionOpen_Audio_Data"));
    QCOMPARE(actions[1]->text(), QString("open Audio Data"));
    QCOMPARE(actions[2], window->findChild<QMenu*>("menuZuletzt")->menuAction());
    QVERIFY(actions[3]->isSeparator());
    QCOMPARE(actions[4]->objectName(), QString("actionSaveView"));
    QCOMPARE(actions[4]->text(), QString::fromUtf8("Ansicht speichern\xe2\x80\xa6"));
    QCOMPARE(actions[4]->shortcut(), QKeySequence("Ctrl+S"));
    QVERIFY(!actions[4]->isEnabled());  // nothing shown yet
    QVERIFY(actions[5]->isSeparator());
    QCOMPARE(actions[6]->objectName(), QString("actionBeenden"));
    QCOMPARE(actions[6]->text(), QString("Beenden"));
    QVERIFY(actions[0]->parent() == window.get());
    QVERIFY(window->statusBar() == window->findChild<QStatusBar*>("statusbar"));
  }

  void viewMenuFollowsTheFileMenu() {
    auto* menubar = window->findChild<QMenuBar*>("menubar");
    const QList<QAction*> menus = menubar->actions();
    QCOMPARE(menus.size(), 3);
    QVERIFY(menus[0]->menu() == menubar->findChild<QMenu*>("menuFile"));
    QVERIFY(menus[2]->menu() == menubar->findChild<QMenu*>("menuHilfe"));
    auto* view = menubar->findChild<QMenu*>("menuAnsicht");
    QVERIFY(menus[1]->menu() == view);
    QCOMPARE(view->title(), QString("Ansicht"));
    const QList<QAction*> actions = view->actions();
    QCOMPARE(actions.size(), 4);
    QCOMPARE(actions[0]->objectName(), QString("actionLegende"));
    QCOMPARE(actions[0]->text(), QString("Legende"));
    QVERIFY(actions[0]->isCheckable());
    QVERIFY(actions[0]->isChecked());
    QVERIFY(window->legendChecked());
    QCOMPARE(actions[1]->objectName(), QString("actionZumMaximum"));
    QCOMPARE(actions[1]->text(), QString("Zum Maximum"));
    QCOMPARE(actions[1]->shortcut(), QKeySequence("M"));
    QVERIFY(!actions[1]->isEnabled());  // until sound data are loaded
    QCOMPARE(actions[2]->objectName(), QString("actionZiehen"));
    QCOMPARE(actions[3]->objectName(), QString("actionVollbild"));
  }

  void pointerLineSitsInTheStatusBar() {
    auto* label = window->findChild<QLabel*>("pointerLabel");
    QVERIFY(label != nullptr);
    QVERIFY(label->parentWidget() == window->statusBar());
    QVERIFY(window->pointerLine() == label);
    QCOMPARE(label->text(), QString());
  }

  void metaObjectListsSignalAndSlotsInOrder() {
    const QMetaObject* meta = window->metaObject();
    QCOMPARE(QString(meta->className()), QString("viewer"));
    const QStringList expected = {"newImage(cv::Mat)",     "getPath_xml()",  "getPath_audio()",
                                  "reDraw(cv::Mat)",       "setAlpha(int)",  "setRep(int)",
                                  "setTrans()",            "deleteListener()"};
    QCOMPARE(meta->methodCount() - meta->methodOffset(), int(expected.size()));
    for (int i = 0; i < expected.size(); ++i) {
      const QMetaMethod method = meta->method(meta->methodOffset() + i);
      QCOMPARE(QString(method.methodSignature()), expected[i]);
      QCOMPARE(method.methodType(), i == 0 ? QMetaMethod::Signal : QMetaMethod::Slot);
    }
    QVERIFY(window->qt_metacast("gui") == static_cast<gui*>(window.get()));
  }
};

QTEST_MAIN(FormTest)
#include "FormTest.moc"
