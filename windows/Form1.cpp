#include "windows/Form1.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QTimer>

#include "files/DealWithArrival.h"
#include "platform/Utf8Path.h"
#include "platform/qt/QtPictureLoader.h"
#include "ui_Form1.h"
#include "windows/DataTransfer.h"
#include "windows/PortBox.h"

namespace kvd {

constexpr int PollIntervalMs = 500;

class Form1::DialogScope {
public:
    explicit DialogScope(Form1& form) : form_(form) { form_.session_.dialogOpened(); }
    ~DialogScope() {
        form_.session_.dialogClosed();
        form_.DealWithNextLater();
    }
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;

private:
    Form1& form_;
};

Form1::Form1(Services& services, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::Form1>()),
      services_(services), saveServices_{services.dialog, services.files, services.box,
                                         services.disk},
      arrivalServices_{saveServices_, services.pictures, services.tempImagePath},
      loadServices_{services.dialog, services.pictures, services.box},
      printServices_{services.input, services.printer, services.box}, session_(services.comm) {
    ui_->setupUi(this);
    caption_ = windowTitle();
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(PollIntervalMs);
    Timer1->start();
    // "Copy screenshot": Ctrl+C anywhere in the window, and the picture's menu.
    copyAction_ = new QAction(QStringLiteral("Copy screenshot"), this);
    copyAction_->setObjectName(QStringLiteral("copyAction"));
    copyAction_->setShortcut(QKeySequence::Copy);
    copyAction_->setEnabled(false); // nothing to copy before the first picture
    addAction(copyAction_);
    ui_->Image1->addAction(copyAction_);
    saveToFolderAction_ = new QAction(QStringLiteral("Save every screenshot to folder..."), this);
    saveToFolderAction_->setObjectName(QStringLiteral("saveToFolderAction"));
    ui_->Image1->addAction(saveToFolderAction_);
    stopSavingAction_ = new QAction(QStringLiteral("Stop saving to folder"), this);
    stopSavingAction_->setObjectName(QStringLiteral("stopSavingAction"));
    stopSavingAction_->setEnabled(false);
    ui_->Image1->addAction(stopSavingAction_);
    ui_->Image1->setContextMenuPolicy(Qt::ActionsContextMenu);
    portBox_ = new PortBox(ui_->Combo1, session_, copyAction_, this);
    setAcceptDrops(true);
    ConnectControls();
}

Form1::~Form1() = default;

void Form1::ConnectControls() {
    connect(Timer1, &QTimer::timeout, this, &Form1::OnPollTick);
    connect(ui_->Command1, &QPushButton::clicked, this, [this] {
        DialogScope dialog(*this);
        OnSaveImageClicked(session_.state(), saveServices_, *this);
    });
    connect(ui_->Command2, &QPushButton::clicked, this, [this] {
        DialogScope dialog(*this);
        OnLoadImageClicked(session_, loadServices_, *this);
    });
    connect(ui_->Command4, &QPushButton::clicked, this, &Form1::PrintScreenshot);
    connect(ui_->Check2, &QCheckBox::clicked, this, [this] {
        // A greyed box counts as unchecked.
        ui_->Command1->setEnabled(
            session_.saveDisabledChanged(ui_->Check2->checkState() == Qt::Checked));
    });
    connect(copyAction_, &QAction::triggered, this, &Form1::CopyScreenshot);
    connect(saveToFolderAction_, &QAction::triggered, this, &Form1::ChooseSaveFolder);
    connect(stopSavingAction_, &QAction::triggered, this, &Form1::StopSavingToFolder);
}

void Form1::StartUp(const std::optional<std::string>& port) {
    ui_->Command1->setEnabled(false);
    portBox_->fill(session_.startUp(port), port);
}

void Form1::ReportPortProblems() {
    if (const std::optional<std::string> problem = session_.portProblem()) {
        DialogScope dialog(*this);
        services_.box.tell(*problem, "Serial port");
    }
}

void Form1::SaveEveryScreenshotTo(const std::filesystem::path& folder) {
    folder_.emplace(folder);
    arrivalServices_.folder = &*folder_;
    session_.savingTo(folder);
    stopSavingAction_->setEnabled(true);
    ShowCaption();
}

void Form1::ChooseSaveFolder() {
    std::string folder;
    {
        DialogScope dialog(*this);
        folder = services_.dialog.chooseFolder("Save every screenshot to folder");
    }
    if (!folder.empty())
        SaveEveryScreenshotTo(PathFromUtf8(folder));
}

void Form1::StopSavingToFolder() {
    arrivalServices_.folder = nullptr;
    folder_.reset();
    session_.savingTo(std::nullopt);
    stopSavingAction_->setEnabled(false);
    ShowCaption();
}

void Form1::ShowPictureFile(const std::string& path) {
    session_.showPictureFileLater(path);
    DealWithNextLater();
}

void Form1::CopyScreenshot() {
    CopyToClipboard(ui_->Image1->picture(), session_.shownScreenshotFile());
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedFile(event->mimeData()))
        event->acceptProposedAction();
}

// Shown from the event loop once the drop has ended, so that the source program
// is not held up by a message about the file.
void Form1::dropEvent(QDropEvent* event) {
    if (const std::optional<QString> path = DroppedFile(event->mimeData())) {
        event->acceptProposedAction();
        ShowPictureFile(path->toStdString());
    }
}

void Form1::OnPollTick() {
    const CaptureSession::Tick tick = session_.tick();
    if (tick.portChanged)
        portBox_->showState();
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
    const std::optional<Arrival> arrival = session_.nextArrival();
    if (!arrival)
        return;
    ShowCaption();
    DialogScope dialog(*this); // the arrival may ask about the shown screenshot
    DealWithArrival(*arrival, session_, arrivalServices_, loadServices_, *this);
}

void Form1::ShowCaption() {
    setWindowTitle(QString::fromStdString(session_.caption(caption_.toStdString())));
}

void Form1::PrintScreenshot() {
    DialogScope dialog(*this);
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
    copyAction_->setEnabled(true);
}

} // namespace kvd
