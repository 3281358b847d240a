#include "windows/Form1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QTimer>

#include "files/ScreenshotFolder.h"
#include "flows/LoadImage.h"
#include "flows/PrintFlow.h"
#include "flows/SaveFlow.h"
#include "platform/Utf8Path.h"
#include "platform/qt/QtPicture.h"
#include "ui_Form1.h"
#include "windows/DataTransfer.h"
#include "windows/HistoryWindow.h"
#include "windows/PictureMenu.h"
#include "windows/PortBox.h"

namespace kvd {

namespace {

CheckMark MarkOf(Qt::CheckState state) {
    switch (state) {
    case Qt::Checked:
        return CheckMark::Checked;
    case Qt::PartiallyChecked:
        return CheckMark::Greyed;
    default:
        return CheckMark::Unchecked;
    }
}

} // namespace

Form1::Form1(Services& services, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::Form1>()), services_(services),
      session_(services.comm, services.pictures, services.hold),
      arrivals_(session_, services, *this, [this] { ShowCaption(); }),
      pump_(
          session_, services.hold, arrivals_,
          [this](std::function<void()> step) {
              QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
          },
          [this] { Dealt(); }) {
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
    session_.showPlaceholder(ToPicture(ui_->Image1->picture()));
    session_.keepHistoryIn(&history_);
    // Shown from the event loop once the drop has ended, so that the source program
    // is not held up by a message about the file.
    AcceptDroppedFile(this, [this](const std::string& path) { ShowPictureFileInTurn(path); });
    ConnectControls();
}

Form1::~Form1() = default;

void Form1::ConnectControls() {
    connect(Timer1, &QTimer::timeout, this, &Form1::OnPollTick);
    connect(ui_->Command1, &QPushButton::clicked, this,
            [this] { OnSaveImageClicked(session_, services_, *this); });
    connect(ui_->Command2, &QPushButton::clicked, this,
            [this] { OnLoadImageClicked(pump_, services_, *this); });
    connect(ui_->Command4, &QPushButton::clicked, this, &Form1::OnPrintImageClicked);
    connect(ui_->Check2, &QCheckBox::clicked, this, [this] {
        ui_->Command1->setEnabled(session_.saveDisabledChanged(MarkOf(ui_->Check2->checkState())));
    });
    connect(menu_->copy, &QAction::triggered, this, &Form1::CopyScreenshot);
    connect(menu_->exportPng, &QAction::triggered, this, &Form1::ExportShownPicture);
    connect(menu_->history, &QAction::triggered, this, &Form1::ShowHistory);
    connect(menu_->saveToFolder, &QAction::triggered, this, &Form1::ChooseSaveFolder);
    connect(menu_->stopSaving, &QAction::triggered, this, [this] { SaveEveryScreenshotTo({}); });
}

void Form1::StartUp(const std::optional<std::string>& port) {
    ui_->Command1->setEnabled(false);
    portBox_->fill(session_.startUp(port));
}

void Form1::ReportPortProblems() {
    if (const std::optional<std::string> problem = session_.portProblem())
        services_.box.tell(*problem, "Serial port");
}

void Form1::SaveEveryScreenshotTo(std::optional<std::filesystem::path> folder) {
    if (folder)
        if (const std::string why = WhyNotASaveFolder(*folder, services_.disk); !why.empty()) {
            services_.box.tell(why + " Choose another folder.", "Save every screenshot to folder");
            return;
        }
    menu_->savingToFolder(folder.has_value());
    session_.savingTo(std::move(folder));
    ShowCaption();
}

void Form1::ChooseSaveFolder() {
    const std::string folder = services_.dialog.chooseFolder("Save every screenshot to folder");
    if (!folder.empty())
        SaveEveryScreenshotTo(PathFromUtf8(folder));
}

void Form1::ShowPictureFileInTurn(const std::string& path) {
    pump_.showPictureFile(path);
}

void Form1::CopyScreenshot() {
    CopyToClipboard(ToImage(session_.shown().picture), session_.shownScreenshotFile());
}

void Form1::ExportShownPicture() {
    ExportPictureAsPng(session_.shown().picture, services_, exportChoices_);
}

void Form1::OnPollTick() {
    const CaptureSession::Tick tick = pump_.poll(std::time(nullptr));
    if (tick.portChanged)
        portBox_->showState();
    if (!tick.lineError.empty() && historyWindow_ != nullptr)
        historyWindow_->refresh(); // what the error dropped is listed there
    if (tick.cut != 0)
        ShowCaption();
}

void Form1::Dealt() {
    if (historyWindow_ != nullptr)
        historyWindow_->refresh();
}

void Form1::ShowHistory() {
    if (historyWindow_ == nullptr)
        historyWindow_ = new HistoryWindow(history_, services_, exportChoices_, this);
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

// No other window of the program stays behind, on screen or hidden, holding
// the port: they close with it, and the port is let go at once.
void Form1::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    Timer1->stop();
    session_.end();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            window->close();
    QCoreApplication::quit();
}

void Form1::ShowCaption() {
    setWindowTitle(QString::fromStdString(session_.caption(caption_.toStdString())));
}

void Form1::OnPrintImageClicked() {
    PrintScreenshot(session_.shown().picture, services_);
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
