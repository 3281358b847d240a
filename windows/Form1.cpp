#include "windows/Form1.h"

#include <QAction>
#include <QTimer>

#include "files/DealWithArrival.h"
#include "platform/Utf8Path.h"
#include "platform/qt/QtPicture.h"
#include "ui_Form1.h"
#include "windows/DataTransfer.h"
#include "windows/HistoryWindow.h"
#include "windows/PictureMenu.h"
#include "windows/PortBox.h"

namespace kvd {

Form1::Form1(Services& services, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::Form1>()),
      services_(services), saveServices_{services.dialog, services.files, services.box,
                                         services.disk},
      arrivalServices_{saveServices_, services.pictures, services.tempImagePath},
      loadServices_{services.dialog, services.pictures, services.box},
      printServices_{services.input, services.printer, services.box},
      exportScale_(DefaultScale), exportServices_{saveServices_, services.input, services.pictures,
                                                  services.encoder, exportScale_},
      session_(services.comm) {
    ui_->setupUi(this);
    caption_ = windowTitle();
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(PollInterval);
    Timer1->start();
    menu_ = new PictureMenu(ui_->Image1, this);
    portBox_ = new PortBox(ui_->Combo1, session_, menu_->copy, this);
    session_.keepHistoryIn(&history_);
    session_.readBlocksWith(&services.pictures);
    // Shown from the event loop once the drop has ended, so that the source program
    // is not held up by a message about the file.
    AcceptDroppedFile(this, [this](const std::string& path) { ShowPictureFile(path); });
    ConnectControls();
}

Form1::~Form1() = default;

void Form1::ConnectControls() {
    connect(Timer1, &QTimer::timeout, this, &Form1::OnPollTick);
    connect(ui_->Command1, &QPushButton::clicked, this, [this] {
        const DialogScope dialog = Dialog();
        OnSaveImageClicked(session_.state(), saveServices_, *this);
    });
    connect(ui_->Command2, &QPushButton::clicked, this, [this] {
        const DialogScope dialog = Dialog();
        OnLoadImageClicked(session_, loadServices_, *this);
    });
    connect(ui_->Command4, &QPushButton::clicked, this, &Form1::PrintScreenshot);
    connect(ui_->Check2, &QCheckBox::clicked, this, [this] {
        // A greyed box counts as unchecked.
        ui_->Command1->setEnabled(
            session_.saveDisabledChanged(ui_->Check2->checkState() == Qt::Checked));
    });
    connect(menu_->copy, &QAction::triggered, this, &Form1::CopyScreenshot);
    connect(menu_->exportPng, &QAction::triggered, this, &Form1::ExportShownPicture);
    connect(menu_->history, &QAction::triggered, this, &Form1::ShowHistory);
    connect(menu_->saveToFolder, &QAction::triggered, this, &Form1::ChooseSaveFolder);
    connect(menu_->stopSaving, &QAction::triggered, this, [this] { SaveEveryScreenshotTo({}); });
}

void Form1::StartUp(const std::optional<std::string>& port) {
    ui_->Command1->setEnabled(false);
    portBox_->fill(session_.startUp(port), port);
}

void Form1::ReportPortProblems() {
    if (const std::optional<std::string> problem = session_.portProblem()) {
        const DialogScope dialog = Dialog();
        services_.box.tell(*problem, "Serial port");
    }
}

void Form1::SaveEveryScreenshotTo(std::optional<std::filesystem::path> folder) {
    menu_->savingToFolder(folder.has_value());
    session_.savingTo(std::move(folder));
    ShowCaption();
}

void Form1::ChooseSaveFolder() {
    std::string folder;
    {
        const DialogScope dialog = Dialog();
        folder = services_.dialog.chooseFolder("Save every screenshot to folder");
    }
    if (!folder.empty())
        SaveEveryScreenshotTo(PathFromUtf8(folder));
}

void Form1::ShowPictureFile(const std::string& path) {
    session_.showPictureFileLater(path);
    DealWithNextLater();
}

void Form1::CopyScreenshot() {
    CopyToClipboard(ui_->Image1->picture(), session_.shownScreenshotFile());
}

void Form1::ExportShownPicture() {
    const DialogScope dialog = Dialog();
    ExportPictureAsPng(ToPicture(ui_->Image1->picture()), exportServices_);
}

void Form1::OnPollTick() {
    const CaptureSession::Tick tick = session_.tick();
    if (tick.portChanged)
        portBox_->showState();
    if (!tick.lineError.empty() && historyWindow_ != nullptr)
        historyWindow_->refresh(); // what the error dropped is listed there
    if (tick.cut == 0)
        return;
    ShowCaption();
    DealWithNextLater();
}

// Arrivals are dealt with from the event loop rather than inside the tick: Qt
// never fires a timer again while its own handler runs, and the question an
// arrival may ask must not stop the ticks that drain the port meanwhile.
void Form1::DealWithNextLater() {
    if (session_.readyToDeal())
        QMetaObject::invokeMethod(this, &Form1::DealWithNext, Qt::QueuedConnection);
}

// Nothing is taken while a dialog is open (one opened by a click handled
// before this ran); the dialog's end brings it back here.
void Form1::DealWithNext() {
    if (!kvd::DealWithNext(session_, arrivalServices_, loadServices_, *this,
                           [this] { ShowCaption(); }))
        return;
    if (historyWindow_ != nullptr)
        historyWindow_->refresh();
    DealWithNextLater();
}

DialogScope Form1::Dialog() {
    return {session_, [this] { DealWithNextLater(); }};
}

void Form1::ShowHistory() {
    if (historyWindow_ == nullptr)
        historyWindow_ = new HistoryWindow(history_,
                                           {services_.pictures, saveServices_, printServices_,
                                            exportServices_, [this] { return Dialog(); }},
                                           this);
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

void Form1::ShowCaption() {
    setWindowTitle(QString::fromStdString(session_.caption(caption_.toStdString())));
}

void Form1::PrintScreenshot() {
    const DialogScope dialog = Dialog();
    kvd::PrintScreenshot(ToPicture(ui_->Image1->picture()), printServices_);
}

void Form1::setSaveEnabled(bool enabled) {
    ui_->Command1->setEnabled(enabled);
}

void Form1::setDisableSaveEnabled(bool enabled) {
    ui_->Check2->setEnabled(enabled);
}

void Form1::showPicture(const Picture& picture) {
    ui_->Image1->setPicture(ToImage(picture));
    ui_->Image1->setVisible(true);
    menu_->copy->setEnabled(true);
    menu_->exportPng->setEnabled(true);
}

} // namespace kvd
