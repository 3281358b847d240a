// The yardstick for start-up: a bare Qt window of the main window's size, and
// nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal window"));
    window.setFixedSize(529, 273);
    window.show();
    return app.exec();
}
