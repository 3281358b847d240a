#include <QApplication>
#include <QTimer>

#include "capture/CaptureState.h"
#include "platform/StdFileSystem.h"
#include "platform/qt/PrivateTempFolder.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtFormPrinter.h"
#include "platform/qt/QtPictureLoader.h"
#include "platform/qt/QtSerialPort.h"
#include "windows/Form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    kvd::QtSerialPort comm;
    kvd::QtFileDialog dialog;
    kvd::StdFileSystem files;
    kvd::QtMessageBox box;
    kvd::QtInputBox input;
    kvd::QtPictureLoader pictures;
    kvd::QtFormPrinter printer;
    kvd::Services services{
        comm,  dialog,   files,   box,
        input, pictures, printer, kvd::PrivateTempFolder() / std::string(kvd::TempImageName)};

    kvd::Form1 form(services);
    dialog.setParent(&form);
    box.setParent(&form);
    input.setParent(&form);

    form.StartUp();
    form.show();
    QTimer::singleShot(0, &form, &kvd::Form1::ReportPortProblems);
    return app.exec();
}
