#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/FormRig.h"
#include "tests/support/TestMain.h"
#include "windows/PictureControl.h"

using namespace kvd;

// Positions and sizes are the design's twips divided by 15.
class Form1LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void controlsStandWhereTheLayoutPutsThem_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<bool>("enabled");

        const auto row = [](const char* name, const char* parent, int left, int top, int width,
                            int height, const char* text, const char* toolTip, bool enabled) {
            QTest::newRow(name) << name << parent
                                << QRect(qRound(left / 15.0), qRound(top / 15.0), width / 15,
                                         height / 15)
                                << text << toolTip << enabled;
        };
        row("Command4", "Form1", 6360, 960, 1335, 615, "Print Image", "Print the current image",
            true);
        row("Command2", "Form1", 6360, 1680, 1335, 615, "Load image",
            "Load a previously saved image", true);
        row("Command1", "Form1", 6360, 2400, 1335, 615, "Save image",
            "Save the current image in a BMP format", false);
        row("Combo1", "Form1", 6360, 480, 1335, 315, "1", "", true);
        row("Frame1", "Form1", 6240, 120, 1575, 3720, "", "", true);
        row("Label2", "Frame1", 120, 90, 735, 255, "Serial port", "", true);
        row("Check2", "Frame1", 120, 3360, 1335, 255, "Disable Save",
            "If checked, screen will update without prompting to save current screen", true);
        row("Image1", "Form1", 240, 360, 5820, 3420, "", "Current screenshot", true);
        row("Shape1", "Form1", 143, 240, 6015, 3615, "", "", true);
    }

    void controlsStandWhereTheLayoutPutsThem() {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);
        QFETCH(bool, enabled);

        test::FormRig rig(std::set<int>{});
        QWidget* control = rig.form.findChild<QWidget*>(name);
        QVERIFY(control);
        // The window is on screen before the port probe starts it up.
        QCOMPARE(control->isEnabled(), enabled);
        rig.form.StartUp();
        QCOMPARE(control->parentWidget()->objectName(), parent);
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->isEnabled(), enabled);
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            QCOMPARE(button->text(), text);
        if (auto* label = qobject_cast<QLabel*>(control))
            QCOMPARE(label->text(), text);
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            QCOMPARE(combo->currentText(), text);
            QVERIFY(combo->isEditable());
            // A device's whole name shows, one too long cut at its start: never
            // its last characters alone (/dev/pts/1 read as port 1).
            QLineEdit* box = combo->lineEdit();
            const int room = box->width() - 4; // QLineEdit's own margins
#ifdef _WIN32
            const QString numbered = "COM12"; // Windows' ports are named so
#else
            const QString numbered = "/dev/pts/12";
#endif
            QVERIFY(box->fontMetrics().horizontalAdvance(numbered) <= room);
#ifndef _WIN32 // the Windows style's margins are its own: the room is Fusion's
            const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
            combo->setEditText(byId);
            const QImage shown = box->grab().toImage();
            combo->setEditText(box->fontMetrics().elidedText(byId, Qt::ElideLeft, room));
            QCOMPARE(box->grab().toImage(), shown);
#endif
        } else {
            QCOMPARE(control->toolTip(), toolTip);
        }
    }

    // Fixed in size, captioned, its controls stacked and in tab order as designed,
    // the placeholder a grey picture stretched to Image1 on Shape1's white mat.
    void theWindowIsFixedAndCaptioned() {
        test::FormRig rig;
        QCOMPARE(rig.form.windowTitle(), QString("KVD62 screen capture V2.00"));
        QCOMPARE(rig.form.size(), QSize(529, 273));
        QCOMPARE(rig.form.minimumSize(), QSize(529, 273));
        QCOMPARE(rig.form.maximumSize(), QSize(529, 273));
        const Qt::WindowFlags flags = rig.form.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(rig.form.Timer1->interval(), 500);
        QVERIFY(!rig.control<QCheckBox>("Check2")->isChecked());

        // Later children are drawn above earlier ones.
        const QStringList bottomToTop = {"Shape1",   "Image1",   "Frame1",  "Combo1",
                                         "Command1", "Command2", "Command4"};
        QStringList stacked;
        for (const QObject* child : rig.form.children())
            if (bottomToTop.contains(child->objectName()))
                stacked << child->objectName();
        QCOMPARE(stacked, bottomToTop);

        const QStringList expected = {"Combo1", "Command1", "Command2", "Command4", "Check2"};
        QStringList order;
        QWidget* widget = rig.control<QWidget>("Combo1");
        for (int steps = 0; steps < 100 && order.size() < expected.size(); ++steps) {
            if (expected.contains(widget->objectName()) && !order.contains(widget->objectName()))
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        }
        QCOMPARE(order, expected);

        const QImage placeholder = PlaceholderPicture();
        QCOMPARE(placeholder.size(), QSize(384, 224));
        QVERIFY(placeholder.isGrayscale());
        const QImage window = rig.form.grab().toImage();
        const QRect image1 = rig.control<QWidget>("Image1")->geometry();
        QCOMPARE(QColor(window.pixel(image1.topLeft() + QPoint(6, 6))).red(),
                 QColor(placeholder.pixel(3, 3)).red());
        QCOMPARE(QColor(window.pixel(image1.left() - 3, image1.center().y())), QColor(Qt::white));
    }
};

KVD_REGISTER_TEST(Form1LayoutTest)
#include "Form1LayoutTest.moc"
